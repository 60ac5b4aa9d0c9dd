// The system's font configuration, read on a thread of its own while the
// program starts. Reading it (the configuration files, then the font
// caches) is the longest single step before the window can draw a letter,
// and it needs no display: the program starts it before it connects to the
// display, and the window waits for it before it asks for its first font,
// so the two overlap on any machine with a second core. Without a reader
// started, Qt reads the configuration itself when the first font is asked
// for, as it always does.
#ifndef VIREON_APP_FONT_CONFIGURATION_H
#define VIREON_APP_FONT_CONFIGURATION_H

namespace vireon::app {

// Starts the reading, and waits for its end when it goes out of scope (an
// early return included). One reader at a time.
class FontConfigurationReader
{
public:
    FontConfigurationReader();
    ~FontConfigurationReader();
    FontConfigurationReader(const FontConfigurationReader &) = delete;
    FontConfigurationReader &operator=(const FontConfigurationReader &) = delete;
};

// Waits until a started reading has ended; returns at once when none was
// started. Called before the first font is asked for.
void awaitFontConfiguration();

} // namespace vireon::app

#endif
