// The file's split as the page does it until the engine carries the
// firmware file's rules: each line that does not begin with ':' begins an
// image, and the file must hold two, each with rows. The line-by-line check
// of every row is the bootloader host's, as it reads the image.
#include "checked_file.h"

#include <cstdio>
#include <cstdlib>

namespace vireon::web {
namespace {

bool writeWhole(const std::string &path, const std::string &text)
{
    FILE *file = std::fopen(path.c_str(), "wb");
    if (file == nullptr)
        return false;
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    return std::fclose(file) == 0 && written;
}

void refuse(engine::RunRequest &request, const std::string &problem)
{
    request.problem = request.fileName + " is refused: " + problem;
    request.problemFix = "use the surface's two-image firmware file (.cyacd) as it was delivered.";
}

} // namespace

std::string imagePath(int image) { return "/image" + std::to_string(image) + ".cyacd"; }

engine::RunRequest checkFile(const std::string &name, const std::string &bytes)
{
    engine::RunRequest request;
    request.fileName = name;
    std::string images[2];
    int headers = 0;
    for (size_t at = 0; at < bytes.size();) {
        size_t end = bytes.find('\n', at);
        end = end == std::string::npos ? bytes.size() : end + 1;
        const std::string line = bytes.substr(at, end - at);
        at = end;
        if (line[0] != ':') {
            if (++headers <= 2)
                request.images[headers - 1].siliconId =
                    static_cast<uint32_t>(std::strtoul(line.substr(0, 8).c_str(), nullptr, 16));
        } else if (headers > 0) {
            ++request.images[headers > 1 ? 1 : 0].rows;
        }
        if (headers > 0)
            images[headers > 1 ? 1 : 0] += line.back() == '\n' ? line : line + "\n";
    }
    if (headers != 2)
        refuse(request, "this file holds " + std::to_string(headers) + " images; the surface takes two.");
    else if (request.images[0].rows == 0 || request.images[1].rows == 0)
        refuse(request, std::string("image ") + (request.images[0].rows == 0 ? "1" : "2") + " holds no rows.");
    else if (!writeWhole(imagePath(1), images[0]) || !writeWhole(imagePath(2), images[1]))
        refuse(request, "its images could not be kept for the update.");
    return request;
}

} // namespace vireon::web
