#include "run_line.h"

namespace vireon::engine {

std::string rowsText(int image, int rowsDone, int rowsTotal)
{
    return "Image " + std::to_string(image) + ": row " + std::to_string(rowsDone) + " of " + std::to_string(rowsTotal);
}

std::string restartingText(int secondsLeft)
{
    return "The surface is restarting (" + std::to_string(secondsLeft) + " s)";
}

std::string waitingText(int secondsWaited)
{
    return "Waiting for the surface to come back (" + std::to_string(secondsWaited) + " s)";
}

std::string lookingText(int secondsWaited) { return "Waiting for the surface (" + std::to_string(secondsWaited) + " s)"; }

StageLine idleLine(const IdleFacts &facts)
{
    StageLine line;
    line.kind = StageLine::Kind::Idle;
    const bool chosen = !facts.fileName.empty();
    if (facts.surfaceRestarting)
        line.text = chosen ? "The surface is restarting; press UPDATE once it is back."
                           : "The surface is restarting. Choose the firmware file.";
    else if (!facts.surfacePresent)
        line.text = chosen ? "Connect the surface, then press UPDATE." : "Connect the surface, then choose the firmware file.";
    else if (!chosen)
        line.text = "Choose the firmware file.";
    else
        line.text = "Press UPDATE to program " + facts.fileName + ".";
    if (chosen && !facts.signature.empty())
        line.text += " The file is " + facts.signature + ".";
    return line;
}

} // namespace vireon::engine
