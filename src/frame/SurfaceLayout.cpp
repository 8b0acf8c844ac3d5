// Where the controls of the addressing, options and archive tabs lie, in twips, for those that
// PlaceControls left without a place: a classic dialog layout, with descriptions on top, options
// in frames, the start button and the status beside them and the result list below.
#include "frame/configZD4270.h"

#include <utility>
#include <vector>

namespace zd {

namespace {

// Leaves a control that already has a place where it is.
void Place(Control& control, double left, double top, double width, double height) {
    if (control.Width() == 0 && control.Height() == 0) control.Move(left, top, width, height);
}

constexpr double kMargin = 120;
constexpr double kRowHeight = 255;
constexpr double kRowStep = 300;
constexpr double kComboHeight = 315;
constexpr double kButtonWidth = 1455;
constexpr double kButtonHeight = 375;
// Inside tabAddressing (whose tab row takes the top of it).
constexpr double kInfoTop = 480;
constexpr double kFrameTop = 1320;
// Wide enough for the longest option in either language ("komplette Neuinstallation ...").
constexpr double kFrameWidth = 6105;
constexpr double kSideLeft = kMargin + kFrameWidth + 180;
constexpr double kListBottom = 8220;

// The options frame of an addressing method: its check boxes one under the other, then the start
// address; returns the frame's height.
double PlaceOptionsFrame(Frame& frame, const std::vector<CheckBox*>& checks, Label& label,
                         ComboBox& combo) {
    double top = 330;
    for (CheckBox* check : checks) {
        Place(*check, 150, top, kFrameWidth - 300, kRowHeight);
        top += kRowStep;
    }
    top += 150;
    Place(label, 150, top + 60, 2200, kRowHeight);
    Place(combo, 2400, top, 1095, kComboHeight);
    const double height = top + kComboHeight + 195;
    Place(frame, kMargin, kFrameTop, kFrameWidth, height);
    return height;
}

}  // namespace

void configZD4270::LayOutSurface() {
    const double innerWidth = tabAddressing.Width() - 2 * kMargin;
    const double sideWidth = tabAddressing.Width() - kMargin - kSideLeft;

    // Physical selection and random addressing share one arrangement.
    struct Method {
        Label& info;
        Frame& frame;
        std::vector<CheckBox*> checks;
        Label& startLabel;
        ComboBox& start;
        Button& command;
        Label& status;
        ListView& list;
    };
    // clang-format off
    const Method methods[] = {
        {lblPhySelInfo, fraPhySelOptions,
         {&chkPhySelCompleteNewInstallation, &chkPhySelDeleteAllGroupAssignments,
          &chkPhySelDeleteAllScenes},
         lblPhySelStartAddress, cboPhySelStartAddress, cmdPhySelStart, lblPhySelStatus,
         lstPhySelView},
        {lblRndAddrInfo, fraRndAddrOptions,
         {&chkRndAddrCompleteNewInstallation, &chkRndAddrDeleteAllGroupAssignments,
          &chkRndAddrDeleteAllScenes, &chkRndAddrOpticalFeedback},
         lblRndAddrStartAddress, cboRndAddrStartAddress, cmdRndAddrStart, lblRndAddrStatus,
         lstRndAddrView},
    };
    // clang-format on
    for (const Method& m : methods) {
        Place(m.info, kMargin, kInfoTop, innerWidth, 720);
        const double frameHeight = PlaceOptionsFrame(m.frame, m.checks, m.startLabel, m.start);
        Place(m.command, kSideLeft, kFrameTop + 90, kButtonWidth, kButtonHeight);
        Place(m.status, kSideLeft, kFrameTop + 600, sideWidth, frameHeight - 600);
        const double listTop = kFrameTop + frameHeight + 180;
        Place(m.list, kMargin, listTop, innerWidth, kListBottom - listTop);
    }
    // The fast search belongs to the control's own search and the optical feedback to the
    // terminal's: only one of them shows, on the same row.
    Place(chkRndAddrFastSearch, chkRndAddrOpticalFeedback.Left(), chkRndAddrOpticalFeedback.Top(),
          chkRndAddrOpticalFeedback.Width(), chkRndAddrOpticalFeedback.Height());

    Place(lblSingleAssignInfo, kMargin, kInfoTop, innerWidth, 720);
    Place(lblSingleAssignStartAddress, 150, 420, 2200, kRowHeight);
    Place(cboSingleAssignAddress, 2400, 360, 1215, kComboHeight);
    Place(fraSingleAssignOptions, kMargin, kFrameTop, kFrameWidth, 900);
    Place(cmdSingleAssignStart, kSideLeft, kFrameTop + 90, kButtonWidth, kButtonHeight);

    // Change address: the settings on the left, the device list on the right (its description
    // speaks of "the right list").
    const double changeTop = 2160;
    const double changeLeftWidth = 4200;
    const double changeListLeft = kMargin + changeLeftWidth + 120;
    Place(lblChangeAddrInfo[0], kMargin, kInfoTop, innerWidth, 960);
    Place(lblChangeAddrInfo[1], kMargin, kInfoTop + 1020, innerWidth, 480);
    Place(lblChangeAddrNewAddress, kMargin, changeTop + 60, 1800, kRowHeight);
    Place(cboChangeAddrNewAddress, kMargin + 1860, changeTop, 1335, kComboHeight);
    Place(chkChangeAddrOpticalSelectionFeedback, kMargin, changeTop + 480, changeLeftWidth,
          kRowHeight);
    Place(cmdChangeAddrStart, kMargin, changeTop + 900, kButtonWidth, kButtonHeight);
    Place(lblChangeAddrStatus, kMargin, changeTop + 1440, changeLeftWidth, 1200);
    Place(lstChangeAddrView, changeListLeft, changeTop,
          tabAddressing.Width() - kMargin - changeListLeft, kListBottom - changeTop);

    // Options: one frame per setting, one under the other.
    const double optionsWidth = 4500;
    Place(Option4, 240, 300, 1800, kRowHeight);
    Place(Option5, 240, 630, 1800, kRowHeight);
    Place(fraOperationMode, kMargin, 480, optionsWidth, 1035);
    double top = 480 + 1035 + 120;
    for (auto [frame, inner] :
         {std::pair<Frame*, Control*>{&fraPowerSupplyUnit, &chkPowerSupplyUnit},
          {&fraCountDALIDevices, &chkCountDALIDevices},
          {&fraFirmwareVersion, &lblFirmwareVersion}}) {
        Place(*inner, 240, 330, optionsWidth - 480, kRowHeight);
        Place(*frame, kMargin, top, optionsWidth, 735);
        top += 735 + 120;
    }
    Place(lblOptions, kMargin, top + 120, tabMain.Width() - 2 * kMargin, 480);

    // Archive: the grids fill their tabs; under them the menu button, the feedback switch and the
    // progress of an upload or download.
    for (Grid* grid : {&gridScenes, &gridGroups}) {
        Place(*grid, kMargin, 480, tabArchiv.Width() - 2 * kMargin, tabArchiv.Height() - 600);
        grid->SetColWidth(0, 750);
        for (int col = 1; col < grid->Cols(); ++col) grid->SetColWidth(col, 435);
    }
    const double archivRow = cmdArchivOptions.Top() + 60;
    const double afterButton = cmdArchivOptions.Left() + cmdArchivOptions.Width() + 240;
    Place(chkArchivOpticalSelectionFeedback, afterButton, archivRow, 3600, kRowHeight);
    Place(prgArchiv, afterButton + 3720, archivRow, tabMain.Width() - kMargin - afterButton - 3720,
          kRowHeight);
}

}  // namespace zd
