// Stepping through the font list with ↓ on the real main window, from the middle of a loaded
// list (the cost of a step must not grow with the list): each press moves one row,
// checks the new font's description, posts the preview form, fetches the rendered picture and
// shows it; the key's handler returns once the picture box has its new picture. Each step is
// timed from the key press until the handler has returned and the picture box is painted.
// After each step the bare probe (probe_step.h) makes one step of its own in each of its ways,
// in a window of its own beside the main window, so ours and the probe see the same machine.
//
// Afterwards the same work is done step by step by hand for a few more rows, to show where
// the time of a step goes, and the requests of the timed steps are written to REPLAY_FILE
// (as the service logged them) for run.sh to replay with curl:
//   "DESC <path>"  the description request's path
//   "POST <body>"  the preview form exactly as posted
//
//   bench_preview.exe STEPS REPLAY_FILE
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/catalogue/bench_window.h"
#include "bench/preview/probe_step.h"
#include "bench/probe_support.h"
#include "catalogue/catalogue_state.h"
#include "catalogue/scrape.h"
#include "catalogue/service_headers.h"
#include "core/codepage.h"
#include "core/pump.h"
#include "http/fetch_url.h"
#include "http/web_request.h"
#include "tests/support/service_client.h"
#include "ui/properties.h"

namespace {

// One ↓ press as the user makes it: the key goes to the focused list.
double TimedStep(HWND list, HWND picture) {
    const double start = bench::Now();
    SendMessageW(list, WM_KEYDOWN, VK_DOWN, 1);
    UpdateWindow(picture);
    const double took = bench::Now() - start;
    SendMessageW(list, WM_KEYUP, VK_DOWN, 0xC0000001);
    return took;
}

// The parts of one step, done by hand in the order the key handler does them.
struct Parts {
    std::vector<double> select, description, post, extract, fetch, show;
};

bool BrokenDownStep(int row, HWND picture, Parts* parts) {
    double t = bench::Now();
    auto lap = [&t](std::vector<double>& into) {
        const double now = bench::Now();
        into.push_back(now - t);
        t = now;
    };
    ui::ListSetCurrentRow(kFontList, row);
    PumpPendingMessages();
    lap(parts->select);
    CheckFontDescription();
    PumpPendingMessages();
    lap(parts->description);
    Text form =
        BuildPreviewForm(ui::GetText(kFontIdField), ui::GetText("编辑框1"), ui::GetText("编辑框4"),
                         ui::GetText("编辑框2"), ui::GetText("编辑框3"), ui::GetText("编辑框5"),
                         ui::GetText("编辑框6"));
    Text answer = WebRequest(CatalogueRootUrl(), 1, form, CatalogueHeaders());
    lap(parts->post);
    Text url = ExtractPreviewImageUrl(answer);
    lap(parts->extract);
    FetchResult fetched;
    Bytes png = FetchUrlBytes(url, &fetched);
    lap(parts->fetch);
    ui::SetPicture(kPreviewPicture, png);
    PumpPendingMessages();
    UpdateWindow(picture);
    lap(parts->show);
    return !url.empty() && fetched.status == 200 && !png.empty();
}

// The probe names itself in its User-Agent; its requests are not replayed.
bool IsProbeRequest(const LoggedRequest& r) {
    for (const auto& [name, value] : r.headers)
        if (name == "User-Agent" && value == bench::StepProbe::kAgent)
            return true;
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: bench_preview STEPS REPLAY_FILE\n");
        return 2;
    }
    const int steps = std::atoi(argv[1]);
    const char* replayFile = argv[2];

    bench::MainWindow window;
    if (!window.window()) {
        std::fprintf(stderr, "the main window could not be created\n");
        return 1;
    }
    SendMessageW(window.Control(kInitButton), BM_CLICK, 0, 0);
    const int rows = ui::ListRowCount(kFontList);
    const int extraSteps = 10;
    if (!IsCatalogueLoaded() || rows < steps + extraSteps + 3) {
        std::fprintf(stderr, "the catalogue did not load (%d rows)\n", rows);
        return 1;
    }
    HWND list = window.Control(kFontList);
    HWND picture = window.Control(kPreviewPicture);
    // The steps start in the middle of the list, where a user who scrolled would be.
    const int first = (rows - steps - extraSteps - 3) / 2;

    // The probe's list holds the same rows, read from the same page.
    std::vector<FontRow> fontRows;
    ParseFontRows(WebRequest(CatalogueRootUrl(), 0, Text(), CatalogueHeaders()), &fontRows);
    std::vector<bench::ListRow> probeRows;
    for (const FontRow& row : fontRows)
        probeRows.push_back(
            {codepage::Wide(row.ordinal), codepage::Wide(row.name), codepage::Wide(row.id)});
    bench::StepProbe probe(probeRows, CatalogueRootUrl());
    if (!probe.ready() || probeRows.size() != static_cast<size_t>(rows)) {
        std::fprintf(stderr, "the probe's list could not be made (%zu rows)\n", probeRows.size());
        return 1;
    }
    probe.StartAt(first);

    SetForegroundWindow(window.window());
    ui::ListSetCurrentRow(kFontList, first);
    ui::ListScrollIntoView(kFontList, first);
    SetFocus(list);
    bench::PumpFor(100);

    TimedStep(list, picture);  // warm-up: the first request of each engine loads its parts
    for (int way = 0; way < bench::StepProbe::kWayCount; ++way)
        probe.Step(way);
    ServiceClearLog();

    std::vector<double> times;
    std::vector<double> probeTimes[bench::StepProbe::kWayCount];
    std::vector<double> probeParts[bench::StepProbe::kWayCount][bench::StepProbe::kPartCount];
    Text lastUrl = PreviewImageUrl();
    for (int step = 1; step <= steps; ++step) {
        const double took = TimedStep(list, picture);
        const int row = ui::ListCurrentRow(kFontList);
        if (row != first + step + 1 ||
            ui::GetText(kFontIdField) != ui::ListGetCell(kFontList, row, 2) ||
            PreviewImageUrl().empty() || PreviewImageUrl() == lastUrl || window.messages()) {
            std::fprintf(stderr, "step %d: row %d, ID %s, picture %s\n", step, row,
                         ui::GetText(kFontIdField).c_str(), PreviewImageUrl().c_str());
            return 1;
        }
        lastUrl = PreviewImageUrl();
        times.push_back(took);
        std::printf("step %d %.3f", step, took * 1e3);
        for (int way = 0; way < bench::StepProbe::kWayCount; ++way) {
            const double probeTook = probe.Step(way);
            if (probeTook < 0) {
                std::fprintf(stderr, "\nprobe step %d (%s) failed\n", step,
                             bench::StepProbe::WayName(way));
                return 1;
            }
            probeTimes[way].push_back(probeTook);
            for (int part = 0; part < bench::StepProbe::kPartCount; ++part)
                probeParts[way][part].push_back(probe.part(part));
            std::printf(" %s %.3f", bench::StepProbe::WayName(way), probeTook * 1e3);
        }
        std::printf("\n");
    }

    // The timed steps' requests as they arrived, for the replay.
    std::vector<LoggedRequest> log = ParseServiceLog(ServiceLog());
    FILE* replay = std::fopen(replayFile, "wb");
    if (!replay) {
        std::fprintf(stderr, "cannot write %s\n", replayFile);
        return 1;
    }
    int posts = 0, pictures = 0;
    for (const LoggedRequest& r : log) {
        if (IsProbeRequest(r))
            continue;
        if (r.request_line.rfind("GET /FontDesc/", 0) == 0) {
            std::string path = r.request_line.substr(4, r.request_line.find(' ', 4) - 4);
            std::fprintf(replay, "DESC %s\n", path.c_str());
        } else if (r.request_line.rfind("POST / ", 0) == 0) {
            std::fprintf(replay, "POST %s\n", r.body.c_str());
            ++posts;
        } else if (r.request_line.rfind("GET /preview/", 0) == 0) {
            ++pictures;
        }
    }
    std::fclose(replay);
    if (posts != steps || pictures != steps) {
        std::fprintf(stderr, "the service saw %d posts and %d picture requests for %d steps\n",
                     posts, pictures, steps);
        return 1;
    }

    Parts parts;
    for (int i = 0; i < extraSteps; ++i) {
        if (!BrokenDownStep(first + steps + 2 + i, picture, &parts)) {
            std::fprintf(stderr, "broken-down step %d failed\n", i + 1);
            return 1;
        }
    }

    // For comparison: one repaint of the list's frame with its scroll bar, which a step that
    // scrolls the list by a row redraws. Under Wine the scroll bar is drawn through the
    // desktop's visual style whenever one is active.
    std::vector<double> frameRepaints;
    for (int i = 0; i < 20; ++i) {
        const double start = bench::Now();
        SendMessageW(list, WM_NCPAINT, 1, 0);
        frameRepaints.push_back(bench::Now() - start);
    }

    std::printf("ours %.3f\n", bench::Median(times) * 1e3);
    int fastest = 0;
    for (int way = 0; way < bench::StepProbe::kWayCount; ++way) {
        std::printf("probe-way %s %.3f\n", bench::StepProbe::WayName(way),
                    bench::Median(probeTimes[way]) * 1e3);
        if (bench::Median(probeTimes[way]) < bench::Median(probeTimes[fastest]))
            fastest = way;
    }
    std::printf("probe %.3f %s\n", bench::Median(probeTimes[fastest]) * 1e3,
                bench::StepProbe::WayName(fastest));
    for (int part = 0; part < bench::StepProbe::kPartCount; ++part)
        std::printf("probe-part %s %.3f\n", bench::StepProbe::PartName(part),
                    bench::Median(probeParts[fastest][part]) * 1e3);
    std::printf("worst ours %.3f probe %.3f\n", *std::max_element(times.begin(), times.end()) * 1e3,
                *std::max_element(probeTimes[fastest].begin(), probeTimes[fastest].end()) * 1e3);
    std::printf("scrollbar %.3f\n", bench::Median(frameRepaints) * 1e3);
    std::printf("part select %.3f\n", bench::Median(parts.select) * 1e3);
    std::printf("part description %.3f\n", bench::Median(parts.description) * 1e3);
    std::printf("part post %.3f\n", bench::Median(parts.post) * 1e3);
    std::printf("part extract %.3f\n", bench::Median(parts.extract) * 1e3);
    std::printf("part fetch %.3f\n", bench::Median(parts.fetch) * 1e3);
    std::printf("part show %.3f\n", bench::Median(parts.show) * 1e3);
    return 0;
}
