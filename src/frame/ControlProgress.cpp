#include "frame/ControlProgress.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>

#include "engine/TerminalAddressing.h"
#include "frame/AddressingRun.h"
#include "platform/HostTexts.h"

namespace zd {

namespace {

std::string Trimmed(const std::string& caption) {
    std::string text = caption;
    while (!text.empty() && (text.back() == '.' || text.back() == ' ')) text.pop_back();
    return text;
}

// The pages that read their device when they open, with what the progress calls the read.
constexpr std::pair<PageKind, const char*> kReadingPages[] = {
    {PageKind::Variables, "reading variables"},
    {PageKind::Groups, "reading groups"},
    {PageKind::Scenes, "reading scenes"}};

// The page's own progress bar, which counts the steps of its read (0 while it does not read).
ProgressBar* PageProgressBar(const DevicePage* page) {
    if (!page) return nullptr;
    for (Control* child : page->Children())
        if (auto* bar = dynamic_cast<ProgressBar*>(child); bar && bar->Name() == "prgState")
            return bar;
    return nullptr;
}

// How far an archive transfer has come. It visits all 64 addresses, but an address with gear
// costs it every transaction (upload: 16 scene and 2 group queries; download: a query, 16 scenes
// of two commands each and 16 group commands) where an empty one costs one query that waits for
// its timeout, about two transactions. With the device list known (after a scan) the share done
// counts that work; without it, addresses.
double ArchivFraction(const configZD4270& control, bool upload) {
    const ProgressBar& bar = control.prgArchiv;
    const double value = bar.Value() - bar.Min();
    const double steps = bar.Max() - bar.Min();
    const auto& devices = control.State().devices;
    if (!devices || devices->Count() == 0) return value / steps;
    const double span = steps / 64.0;
    const double gearWork = upload ? 18.0 : 49.0;
    constexpr double kEmptyWork = 2.0;
    double done = 0;
    double total = 0;
    for (int address = 0; address < 64; ++address) {
        const double work = devices->Item(address) ? gearWork : kEmptyWork;
        const double within = std::clamp((value - address * span) / span, 0.0, 1.0);
        total += work;
        done += work * within;
    }
    return done / total;
}

}  // namespace

ProgressState ControlProgress(const configZD4270& control) {
    ProgressState state;
    const Language language = state.language = control.GetContext().messages.GetLanguage();
    const auto text = [language](std::string_view english,
                                 std::initializer_list<std::string_view> args = {}) {
        return HostText(language, english, args);
    };
    const auto counted = [&](int count) { return text("%1 addressed", {std::to_string(count)}); };
    if (control.Scanning()) {
        state.what = text("scan");
        state.detail = text("address %1", {std::to_string(control.ScanAddress())});
        state.fraction = control.ScanAddress() / 64.0;
    } else if (control.RndAddrRunning()) {
        state.what = text("random addressing");
        if (control.lstRndAddrView.Visible()) {
            // The control finds the gear in the order of their random addresses, which are spread
            // evenly: how far the search has come through the random address space is how far it
            // has come through the gear.
            state.detail = counted(control.lstRndAddrView.ItemCount());
            state.fraction = control.RndAddrSearch().Fraction();
        } else {
            // The terminal searches on its own and tells nothing until it is done: how far it has
            // come is estimated from the gear the device list knew as it began.
            state.detail = Trimmed(control.lblRndAddrStatus.Caption());
            const int gear = control.RndAddrFirmwareGear();
            if (gear == 0) {
                // No gear known (a line never scanned): the pace lets the user reckon.
                state.detail += ", " + text("about %1 per gear",
                                            {DurationText(TerminalAddressingEstimateMs(1) -
                                                          TerminalAddressingEstimateMs(0))});
            } else {
                const std::int64_t expected = TerminalAddressingEstimateMs(gear);
                const std::int64_t elapsed =
                    control.GetContext().scheduler.Now() - control.RndAddrFirmwareSinceMs();
                const std::string estimate = DurationText(expected);
                if (elapsed < expected) {
                    state.detail +=
                        ", " + text("about %1 for %2 gear", {estimate, std::to_string(gear)});
                    state.fraction = static_cast<double>(elapsed) / static_cast<double>(expected);
                } else {
                    state.detail += ", " + text("longer than the %1 estimated for %2 gear",
                                                {estimate, std::to_string(gear)});
                }
            }
        }
    } else if (control.PhySelRunning()) {
        state.what = text("physical selection");
        state.detail = counted(control.lstPhySelView.ItemCount());
        const std::string status = Trimmed(control.lblPhySelStatus.Caption());
        if (!status.empty()) state.detail += ", " + status;
    } else if (control.ChangeAddrRunning()) {
        state.what = text("change addresses");
        state.detail = Trimmed(control.lblChangeAddrStatus.Caption());
        // A move can put another device where it belongs too, or displace one: never backwards.
        const int planned = control.ChangeAddrPlanned();
        if (planned > 0) {
            state.fraction = std::clamp(
                1.0 - control.ChangeAddrMovesLeft() / static_cast<double>(planned), 0.0, 1.0);
        }
    } else if (control.ArchivTransferRunning() != configZD4270::ArchivTransfer::None &&
               control.prgArchiv.Max() > control.prgArchiv.Min()) {
        const bool upload = control.ArchivTransferRunning() == configZD4270::ArchivTransfer::Upload;
        state.what = text(upload ? "archive upload" : "archive download");
        state.detail = text("address %1", {std::to_string(control.ArchivAddress())});
        state.fraction = ArchivFraction(control, upload);
    } else {
        for (const auto& [kind, reading] : kReadingPages) {
            const ProgressBar* bar = PageProgressBar(control.Page(kind));
            if (!bar || bar->Value() <= bar->Min() || bar->Max() <= bar->Min()) continue;
            // The bar shows the step that is being read: the steps before it are done.
            const int step = static_cast<int>(bar->Value() - bar->Min());
            const int steps = static_cast<int>(bar->Max() - bar->Min());
            state.what = text(reading);
            state.detail = text("%1 of %2", {std::to_string(step), std::to_string(steps)});
            state.fraction = (step - 1.0) / steps;
            state.pageRead = true;
            break;
        }
    }
    // What the run got over on a messy line so far.
    if (!state.what.empty() && !state.pageRead && !control.Recovered().empty()) {
        int count = 0;
        for (const AddressingRecovery& r : control.Recovered()) count += r.count;
        state.detail +=
            (state.detail.empty() ? "" : ", ") + text("%1 recovered", {std::to_string(count)});
    }
    return state;
}

std::function<void()> WatchControlProgress(configZD4270& control,
                                           const std::function<void()>& changed) {
    // The pages come and go on tabMain: the watch moves to the progress bars of those shown. A
    // page leaves tabMain before it goes, which is when its bar is let go.
    struct PageWatch {
        std::vector<std::pair<ProgressBar*, Event<>::Connection>> bars;
        void Release() {
            for (const auto& [bar, id] : bars) bar->OnChanged.Disconnect(id);
            bars.clear();
        }
    };
    auto pages = std::make_shared<PageWatch>();
    const auto followPages = [&control, changed, pages] {
        pages->Release();
        for (Control* child : control.tabMain.Children())
            if (ProgressBar* bar = PageProgressBar(dynamic_cast<DevicePage*>(child)))
                pages->bars.emplace_back(bar, bar->OnChanged.Connect(changed));
    };
    followPages();
    std::vector<std::function<void()>> undo;
    const auto pagesId = control.tabMain.OnChildrenChanged.Connect(followPages);
    undo.push_back([&control, pagesId, pages] {
        control.tabMain.OnChildrenChanged.Disconnect(pagesId);
        pages->Release();
    });
    for (Control* model : std::initializer_list<Control*>{
             &control.prgState, &control.prgArchiv, &control.lblRndAddrStatus,
             &control.lstRndAddrView, &control.lblPhySelStatus, &control.lstPhySelView,
             &control.lblChangeAddrStatus,
             // A run's button reads "Start" again only once the run has ended.
             &control.cmdScanDevices, &control.cmdRndAddrStart, &control.cmdPhySelStart,
             &control.cmdChangeAddrStart}) {
        const auto id = model->OnChanged.Connect(changed);
        undo.push_back([model, id] { model->OnChanged.Disconnect(id); });
    }
    return [undo] {
        for (const auto& u : undo) u();
    };
}

Button* ProgressCancelButton(configZD4270& control) {
    Button* button = nullptr;
    if (control.Scanning())
        button = &control.cmdScanDevices;
    else if (control.RndAddrRunning())
        button = &control.cmdRndAddrStart;
    else if (control.PhySelRunning())
        button = &control.cmdPhySelStart;
    else if (control.ChangeAddrRunning())
        button = &control.cmdChangeAddrStart;
    // A run offers its cancel through its own button, and only while that reads "Cancel".
    if (!button || !button->Enabled() ||
        button->Caption() != control.GetContext().messages.Load(5076))
        return nullptr;
    return button;
}

}  // namespace zd
