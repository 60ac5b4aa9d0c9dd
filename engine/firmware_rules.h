// The rules of the firmware file the user chooses, on its bytes alone: two
// images one after the other, each begun by its own header line, and the
// line rules of one image as the bootloader host's reader takes it (a
// header line of hex pairs, then row lines of ':' and hex pairs, each ended
// by the line end alone). The window and vireon-flash read the file and
// write its images to disk around these rules; the browser page checks the
// bytes it was given. Each refusal names the line, the image and the byte.
#ifndef VIREON_ENGINE_FIRMWARE_RULES_H
#define VIREON_ENGINE_FIRMWARE_RULES_H

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vireon::engine {

// The largest firmware file that is read at all: a file for the surface is
// far smaller, and a larger one is refused by its size alone, unread.
constexpr long long kMaxFirmwareFileSize = 16LL * 1024 * 1024;

// Why a file of `size` bytes is not read (`size` < 0: larger than the
// limit, by how much unknown); empty when it may be.
std::string sizeProblem(long long size);

// The file's lines shared out between its two images. A line that does not
// begin with ':' is a header line and begins an image (an empty line too).
// Rows before the first header go nowhere; the second header and every
// line after it, later headers included, go to image 2. Lines end in "\n"
// in the images whatever ended them in the file ("\r\n", or none at the
// end); a UTF-8 byte order mark before the first line is not part of it.
struct FirmwareSplit {
    std::string images[2];     // each image's lines, each ended by "\n"
    int firstLines[2] = {0, 0}; // the file's line (from 1) that begins each image; 0: none
    int rows[2] = {0, 0};       // the row lines (begun by ':') of each image
    uint32_t chips[2] = {0, 0}; // the silicon id each image's header names: the chip it is for; 0 none

    int lines = 0;                 // lines in the file
    int rowLines = 0;              // lines that begin with ':'
    int headers = 0;               // lines that begin with a visible character other than ':'
    std::vector<int> firstHeaders; // the first four of them
    int strayLine = 0;             // the first other line (empty, or begun by a blank or a control byte); 0: none
    std::string strayStart;        // how that line begins, worded for the user
};

FirmwareSplit splitFirmware(std::string_view bytes);

// Why the file as a whole is not a two-image firmware file (empty, not
// firmware, a stray line, another number of images); empty when it is one.
std::string wholeFileProblem(const FirmwareSplit &split);

// What is wrong with one image's bytes, worded to follow "Line N of ..."
// (`line` > 0: "has 'Z' where a hex digit belongs") or the image itself
// (`line` 0: "holds a header but no rows"). Empty `reason`: usable.
struct ImageFault {
    int line = 0; // within the image, from 1
    std::string reason;
};
ImageFault checkImage(std::string_view bytes);

// Why a file is refused, naming its image (0: the file as a whole) and the
// chosen file's line (0: no one line). Empty reason: usable.
struct FileVerdict {
    int image = 0;
    int line = 0;
    std::string reason;
    bool ok() const { return reason.empty(); }
};

// The check of the file's content: the file as a whole, then image 1 and
// image 2 as given (their bytes as written to where the host reads them;
// the split's own texts when they were not written anywhere).
FileVerdict checkImages(const FirmwareSplit &split, std::string_view image1, std::string_view image2);
// Both at once, for a file held in memory.
FileVerdict checkFirmware(std::string_view bytes, FirmwareSplit *split = nullptr);

// How a byte reads in a sentence: "'Z'", "a blank", "a NUL byte", "byte 0x07".
std::string describeByte(unsigned char byte);

} // namespace vireon::engine

#endif
