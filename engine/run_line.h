// The line under the progress bar that names where an update is: the rows
// of the image being programmed, the surface's restart, the wait for it to
// come back, then the result; before an update, what the user does next.
// The bar is a clock; this line says what the surface is doing. Every front
// end shows these words, and the progress bar's ceiling with them.
#ifndef VIREON_ENGINE_RUN_LINE_H
#define VIREON_ENGINE_RUN_LINE_H

#include <string>

namespace vireon::engine {

struct StageLine {
    enum class Kind { Idle, Looking, Rows, Restarting, Waiting, Result };
    Kind kind = Kind::Idle;
    std::string text;
    // The progress bar is held at this while the line stands (0: no run).
    int ceiling = 0;
    int image = 0;     // Rows: which image
    int rowsDone = 0;  // Rows: rows of it done
    int rowsTotal = 0; // Rows: its rows
};

// "Image 1: row 120 of 391".
std::string rowsText(int image, int rowsDone, int rowsTotal);
// "The surface is restarting (10 s)": seconds left of the restart.
std::string restartingText(int secondsLeft);
// "Waiting for the surface to come back (4 s)": seconds waited so far.
std::string waitingText(int secondsWaited);
// "Waiting for the surface (3 s)": at the start, seconds waited for one to
// be attached.
std::string lookingText(int secondsWaited);

// What the user has done so far, before an update.
struct IdleFacts {
    bool surfacePresent = false;
    bool surfaceRestarting = false; // it left the bus as a run ended and is not back yet
    std::string fileName;           // the chosen file's name; empty: none chosen
    std::string signature;          // a good signature's words ("signed with the trusted key ..."); empty: none
};

// The next step: "Connect the surface.", "Choose the firmware file.",
// "Press UPDATE to program NAME.", with a good signature's verdict.
StageLine idleLine(const IdleFacts &facts);

} // namespace vireon::engine

#endif
