// The file's check is the engine's firmware rules, the same the window and
// vireon-flash apply: the file as a whole, then each image as the host will
// read it; the images are then written where the host reads them.
#include "checked_file.h"

#include "firmware_rules.h"

#include <cstdio>

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

engine::RunRequest refusedBySize(const std::string &name, long long size)
{
    engine::RunRequest request;
    request.fileName = name;
    if (const std::string tooLarge = engine::sizeProblem(size); !tooLarge.empty())
        refuse(request, tooLarge);
    return request;
}

engine::RunRequest checkFile(const std::string &name, const std::string &bytes)
{
    engine::RunRequest request;
    request.fileName = name;
    engine::FirmwareSplit split;
    const engine::FileVerdict verdict = engine::checkFirmware(bytes, &split);
    if (!verdict.ok())
        refuse(request, verdict.reason);
    else if (!writeWhole(imagePath(1), split.images[0]) || !writeWhole(imagePath(2), split.images[1]))
        refuse(request, "its images could not be kept for the update.");
    for (int i = 0; i < 2; ++i)
        request.images[i] = {split.rows[i], split.chips[i]};
    return request;
}

} // namespace vireon::web
