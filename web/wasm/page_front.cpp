// The page's front end to the update engine, as the window's and
// vireon-flash's are theirs: the page's JavaScript tells it each event and
// performs the step it answers, and renders the notes, lines and outcome it
// hands over as JSON. Every decision is the engine's; a stage runs through
// the same stage runner, transport and bootloader host as on the desktop,
// over WebHID (hidapi_webhid.cpp).
#include "checked_file.h"
#include "json_text.h"
#include "page_policy.h"
#include "page_signature.h"

#include "firmware_rules.h"
#include "hid_listing.h"
#include "hid_transport.h"
#include "stage_runner.h"
#include "timing.h"
#include "usb_ids.h"
#include "wording.h"

#include <emscripten.h>

#include <chrono>

namespace vireon::web {
namespace {

using Clock = std::chrono::steady_clock;
using engine::Millis;

Millis now() { return std::chrono::duration_cast<Millis>(Clock::now().time_since_epoch()); }

struct Page {
    engine::UpdateEngine engine{pagePolicy()};
    engine::RunRequest request;
    bool chosen = false;        // a file was chosen
    std::string signedWords;    // a good signature's words for the line before an update
    bool chosenSinceRun = true; // the idle line, not the last result, tells what is next
    int rowsDone = 0;           // of the running stage
    engine::StageOrder order;   // the stage the engine last ordered
    bool stopAsked = false;
    std::string handedOver;     // the last JSON text handed to the page
};

Page &page()
{
    static Page state;
    return state;
}

// The stage's handle and the record of its transfers, bound to the
// transport.
hid_device *g_stageHandle = nullptr;
engine::TransferRecord g_transfers;

const char *handOver(std::string json)
{
    page().handedOver = std::move(json);
    return page().handedOver.c_str();
}

const char *partName(engine::Part part)
{
    static const char *const names[] = {"check", "wait", "stage1", "restart", "stage2", "done"};
    return names[static_cast<int>(part)];
}

std::string outcomeJson(const engine::Outcome &outcome)
{
    return JsonObject()
        .add("ending", engine::endingName(outcome.ending))
        .add("code", engine::exitName(outcome.code))
        .add("cause", engine::causeName(outcome.cause))
        .add("stage", outcome.stage)
        .add("success", outcome.success())
        .add("message", outcome.message)
        .add("fix", engine::asSentence(outcome.fix))
        .add("result", outcome.result)
        .text();
}

std::string stepJson(const engine::Step &step)
{
    std::string notes = "[";
    for (const engine::Note &note : step.notes)
        notes += (notes.size() > 1 ? "," : "") +
                 JsonObject().add("part", partName(note.part)).add("text", note.text).text();
    notes += "]";
    static const char *const kinds[] = {"nothing", "look", "claim", "run", "pause", "finish"};
    const engine::Next &next = step.next;
    JsonObject json;
    json.add("kind", kinds[next.kind]);
    if (next.kind == engine::Next::Look)
        json.add("untilIn", static_cast<long long>(std::max<long long>(0, (next.until - now()).count())));
    if (next.kind == engine::Next::RunStage)
        json.add("image", next.stage.image).add("attempt", next.stage.attempt).add("surface",
                                                                                  engine::describe(next.stage.surface));
    if (next.kind == engine::Next::Pause)
        json.add("pause", static_cast<long long>(next.pause.count()));
    if (next.kind == engine::Next::Finish)
        json.raw("outcome", outcomeJson(next.outcome));
    return JsonObject().raw("notes", notes).raw("next", json.text()).text();
}

const char *stepOut(const engine::Step &step)
{
    if (step.next.kind == engine::Next::Finish)
        page().chosenSinceRun = false;
    if (step.next.kind == engine::Next::RunStage)
        page().order = step.next.stage;
    return handOver(stepJson(step));
}

engine::Surfaces listBus()
{
    engine::Surfaces seen;
    for (const core::hid::ListedDevice &device : core::hid::listDevices(core::kVendorId, core::kProductId))
        seen.push_back({device.path, "", device.enumeration});
    return seen;
}

EM_JS(void, tell_rows, (int rows), { Module.onRows(rows); });

engine::StageReport runStage(const engine::StageOrder &order)
{
    core::StageJob job;
    job.image = order.image;
    job.action = order.verify ? VERIFY : PROGRAM;
    job.verify = order.verify;
    job.imagePath = imagePath(order.image);
    job.devicePath = order.surface.path;
    job.openUntil = Clock::time_point(std::chrono::duration_cast<Clock::duration>(order.openUntil));
    job.imageIds[0] = page().request.images[0].siliconId;
    job.imageIds[1] = page().request.images[1].siliconId;
    job.slot = &g_stageHandle;
    job.transport = core::hidTransport<&g_stageHandle, &g_transfers>();
    job.record = &g_transfers;
    g_transfers.printFailures = false; // the outcome tells them
    job.stop = [] { return page().stopAsked; };
    job.onRow = [](int rows) {
        page().rowsDone = rows;
        tell_rows(rows);
    };
    return core::runStage(job).report;
}

} // namespace
} // namespace vireon::web

using namespace vireon;
using web::page;

extern "C" {

// Trusts the key of a .pub file built into the page: empty JSON string, or
// why it cannot be used.
EMSCRIPTEN_KEEPALIVE const char *vw_trust_key(const char *name, const char *text)
{
    return web::handOver(web::quoted(web::trustKey(name, text)));
}

EMSCRIPTEN_KEEPALIVE void vw_require_signatures(int required) { web::requireSignatures(required != 0); }

// The largest file the page reads; a larger one is chosen by its size alone.
EMSCRIPTEN_KEEPALIVE double vw_file_limit() { return static_cast<double>(engine::kMaxFirmwareFileSize); }

// Checks the chosen file's signature (none given: `signatureSize` -1), then
// the file: JSON {usable, problem, fix, signature, rows1, rows2}. A file of
// `fileSize` bytes over the limit is refused by its size, its bytes and
// signature not given and not checked, as on the desktop.
EMSCRIPTEN_KEEPALIVE const char *vw_choose(const char *name, const char *bytes, int size, double fileSize,
                                           const char *signature, int signatureSize)
{
    web::Page &state = page();
    const std::string file(bytes, static_cast<size_t>(size));
    const engine::RunRequest unread = web::refusedBySize(name, static_cast<long long>(fileSize));
    const engine::SignatureVerdict verdict =
        !unread.problem.empty()
            ? engine::SignatureVerdict()
            : web::judgeSignature(name, file, signatureSize >= 0,
                                  signatureSize > 0 ? std::string(signature, size_t(signatureSize)) : "");
    if (!unread.problem.empty()) {
        state.request = unread;
    } else if (verdict.refused()) {
        // Refused as that, whatever else is wrong with the file.
        state.request = engine::RunRequest();
        state.request.fileName = name;
        state.request.problem = std::string(name) + " is refused: " + verdict.reason;
        state.request.problemFix = engine::lowerFirst(verdict.fix);
    } else {
        state.request = web::checkFile(name, file);
    }
    state.request.signature = unread.problem.empty() ? verdict.summary() : "";
    state.signedWords = web::goodSignatureWords(verdict);
    state.chosen = state.chosenSinceRun = true;
    const engine::RunRequest &request = state.request;
    return web::handOver(web::JsonObject()
                             .add("usable", request.problem.empty())
                             .add("problem", request.problem)
                             .add("fix", engine::asSentence(request.problemFix))
                             .add("signature", request.signature)
                             .add("signatureStatus", verdict.statusName())
                             .add("rows1", request.images[0].rows)
                             .add("rows2", request.images[1].rows)
                             .text());
}

EMSCRIPTEN_KEEPALIVE const char *vw_start()
{
    page().rowsDone = 0;
    return web::stepOut(page().engine.start(web::now(), page().request));
}

EMSCRIPTEN_KEEPALIVE const char *vw_seen() { return web::stepOut(page().engine.seen(web::now(), web::listBus())); }

EMSCRIPTEN_KEEPALIVE const char *vw_time_passed() { return web::stepOut(page().engine.timePassed(web::now())); }

// The page holds the browser's lock for the surface, or another page of the
// updater does.
EMSCRIPTEN_KEEPALIVE const char *vw_claimed(int taken)
{
    engine::LockAnswer answer;
    answer.taken = taken != 0;
    if (!answer.taken)
        answer.problem = "Another page of this updater, in this browser, is updating the surface.";
    return web::stepOut(page().engine.claimed(web::now(), answer));
}

// Runs the stage the engine ordered; waits on WebHID throughout (call it
// asynchronously).
EMSCRIPTEN_KEEPALIVE const char *vw_run_stage()
{
    web::Page &state = page();
    state.rowsDone = 0;
    state.stopAsked = false;
    state.engine.stageStarted();
    const engine::StageReport report = web::runStage(state.order);
    return web::stepOut(state.engine.stageEnded(web::now(), report)); // the time as the stage ended
}

EMSCRIPTEN_KEEPALIVE const char *vw_pause_over() { return web::stepOut(page().engine.pauseOver(web::now())); }

EMSCRIPTEN_KEEPALIVE const char *vw_interrupted()
{
    page().stopAsked = true;
    return web::stepOut(page().engine.interrupted(web::now()));
}

EMSCRIPTEN_KEEPALIVE const char *vw_closed() { return web::stepOut(page().engine.closed(web::now())); }

// The line under the progress bar: the run's, its result, or what the user
// does next. JSON {kind, text, ceiling, rowsDone, rowsTotal}.
EMSCRIPTEN_KEEPALIVE const char *vw_line(int surfacePresent, int surfaceRestarting)
{
    web::Page &state = page();
    engine::StageLine line;
    if (state.engine.running() || (state.engine.lastOutcome() && !state.chosenSinceRun)) {
        line = state.engine.line(web::now(), state.rowsDone);
    } else {
        engine::IdleFacts facts;
        facts.surfacePresent = surfacePresent != 0;
        facts.surfaceRestarting = surfaceRestarting != 0;
        facts.fileName = state.chosen ? state.request.fileName : "";
        facts.signature = state.signedWords;
        line = engine::idleLine(facts);
    }
    static const char *const kinds[] = {"idle", "looking", "rows", "restarting", "waiting", "result"};
    return web::handOver(web::JsonObject()
                             .add("kind", kinds[static_cast<int>(line.kind)])
                             .add("text", line.text)
                             .add("ceiling", line.ceiling)
                             .add("image", line.image)
                             .add("rowsDone", line.rowsDone)
                             .add("rowsTotal", line.rowsTotal)
                             .text());
}

// What leaving the page does now: "close", "end-run", "ask" or "refuse".
EMSCRIPTEN_KEEPALIVE const char *vw_close_answer()
{
    static const char *const answers[] = {"close", "end-run", "ask", "refuse"};
    return answers[static_cast<int>(page().engine.closeAnswer())];
}

// A test's shorter limits, as the desktop tests shorten theirs: how long a
// read waits, and how long a surface may stay on the bus after its exit
// command.
EMSCRIPTEN_KEEPALIVE void vw_set_limits(int readLimitMs, int restartAllowanceMs)
{
    core::setReadLimit(engine::Millis(readLimitMs));
    core::setRestartAllowance(engine::Millis(restartAllowanceMs));
    page().engine.policy().restartAllowance = engine::Millis(restartAllowanceMs);
}

} // extern "C"
