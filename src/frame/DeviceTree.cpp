// The device tree: a root node for the whole line and one node per known device with its three
// sub-nodes; a click shows the matching device page and, on request, lights the chosen lamp.
#include <cstdio>
#include <optional>
#include <string>

#include "devices/NumericText.h"
#include "frame/configZD4270.h"
#include "link/Commands.h"
#include "platform/Dialogs.h"
#include "platform/Error.h"
#include "platform/HostTexts.h"

namespace zd {

namespace {

constexpr const char* kRootKey = "Root";

std::string TwoDigits(int n) {
    char text[8];
    std::snprintf(text, sizeof text, "%02d", n);
    return text;
}

// The page a node of the given type shows below the root, if the type is one of the four.
std::optional<PageKind> DevicePageKind(const std::string& nodeType) {
    if (nodeType == "Device") return PageKind::LightControl;
    if (nodeType == "Variables") return PageKind::Variables;
    if (nodeType == "Groups") return PageKind::Groups;
    if (nodeType == "Scenes") return PageKind::Scenes;
    if (nodeType == "Emergency") return PageKind::Emergency;
    return std::nullopt;
}

constexpr PageKind kDevicePageKinds[] = {PageKind::LightControl, PageKind::Variables,
                                         PageKind::Groups, PageKind::Scenes, PageKind::Emergency};

}  // namespace

void configZD4270::CreateTreeDevices() {
    Guard(m_context, "CreateTreeDevices", [this] {
        const MessageCatalogue& msg = m_context.messages;
        treeDevices.Clear();
        TreeNode& root = treeDevices.Add(std::nullopt, kRootKey, msg.Load(5014), "DALI");
        if (!m_state.devices) return;
        for (int i = 0; i < 64; ++i) {
            clsDevice* device = m_state.devices->Item(i);
            if (!device) continue;
            const std::string nn = TwoDigits(device->m_nShortAddress);
            TreeNode& node =
                treeDevices.Add(std::string(kRootKey), nn + "Device", msg.Load(5015) + " #" + nn,
                                device->m_bDALIConflict ? "LampDALIError" : "LampDALI");
            node.SetTag(device);
            treeDevices.Add(node.Key(), nn + "Variables", msg.Load(5016), "LampFade");
            treeDevices.Add(node.Key(), nn + "Groups", msg.Load(5017), "Groups");
            treeDevices.Add(node.Key(), nn + "Scenes", msg.Load(5018), "Scenes");
            if (m_emergencyAddresses.count(device->m_nShortAddress)) AddEmergencyNode(nn);
        }
        root.SetExpanded(true);
    });
}

void configZD4270::AddEmergencyNode(const std::string& nn) {
    if (treeDevices.Node(nn + "Emergency") || !treeDevices.Node(nn + "Device")) return;
    treeDevices.Add(nn + "Device", nn + "Emergency",
                    HostText(m_context.messages.GetLanguage(), "Emergency lighting"), "LampDALI");
}

void configZD4270::NoteDeviceTypeAnswer(std::int16_t nAddr, std::uint8_t deviceType) {
    if (nAddr < 0 || nAddr > 63) return;
    if (deviceType != 1) {
        m_emergencyAddresses.erase(nAddr);
        return;
    }
    m_emergencyAddresses.insert(nAddr);
    AddEmergencyNode(TwoDigits(nAddr));
}

void configZD4270::treeDevices_NodeClick(TreeNode* node) {
    if (!node) return;
    const std::string key = node->Key();
    Guard(m_context, "treeDevices_NodeClick", [&] {
        LightSelectedLamp(key);

        if (key == kRootKey) {
            for (PageKind kind : kDevicePageKinds) RemovePage(kind);
            if (!Page(PageKind::Commands)) CreatePage(PageKind::Commands);
            chkOpticalSelectionFeedback.SetVisible(true);
            return;
        }

        const std::string nodeType = key.size() > 2 ? key.substr(2) : std::string();
        const std::optional<PageKind> wanted = DevicePageKind(nodeType);
        if (!wanted) {
            ShowCritical("Error: treeDevices_NodeClick:" + key);
            RemovePageControls();
            return;
        }
        const std::int16_t nAddr = TextToInteger(key.substr(0, 2));

        RemovePage(PageKind::Commands);
        for (PageKind kind : kDevicePageKinds) {
            if (kind != *wanted) RemovePage(kind);
        }
        const bool dali = m_state.m_nOperationMode == kModeDali;
        if (Page(*wanted) && Page(*wanted)->DALIAddr() != nAddr) RemovePage(*wanted);
        if (Page(*wanted) && !dali) RemovePage(*wanted);
        if (!Page(*wanted) && dali) CreatePage(*wanted);
        if (DevicePage* page = Page(*wanted)) {
            // The address goes last: a new address makes the reading pages read their device.
            page->SetDALIAddrType(AddressKind::Short);
            page->SetDALIAddr(nAddr);
        }
        chkOpticalSelectionFeedback.SetVisible(false);
    });
}

// Makes the chosen lamp stand out: every lamp at its minimum, the chosen one at its maximum. A
// further click for the lamp already lit sends nothing; the sends' results do not matter here.
void configZD4270::LightSelectedLamp(const std::string& key) {
    if (!chkOpticalSelectionFeedback.IsChecked() || m_state.m_nOperationMode != kModeDali) return;
    if (!m_bOpticalSelectionInitialised) {
        m_nOpticalSelectionAddress = -1;
        m_bOpticalSelectionInitialised = true;
    }
    if (key == kRootKey) {
        SendFeedbackCommand(kCmdRecallMinLevel, AddressKind::Broadcast, 0);
        m_nOpticalSelectionAddress = -1;
        return;
    }
    std::int16_t nAddr = -1;
    const std::string prefix = key.substr(0, 2);
    if (IsNumericText(prefix)) nAddr = TextToInteger(prefix);
    if (nAddr == m_nOpticalSelectionAddress) return;
    SendFeedbackCommand(kCmdRecallMinLevel, AddressKind::Broadcast, 0);
    SendFeedbackCommand(kCmdRecallMaxLevel, AddressKind::Short, nAddr);
    m_nOpticalSelectionAddress = nAddr;
}

void configZD4270::SendFeedbackCommand(std::int16_t nCommandId, AddressKind nAddrType,
                                       std::int16_t nAddr) {
    std::uint8_t nData = 0;
    m_link.SendDALICommand(nCommandId, nData, nAddrType, nAddr, nullptr);
}

void configZD4270::CreatePage(PageKind kind) {
    SetPage(kind, CreateDevicePage(kind, m_context, m_state));
}

void configZD4270::chkOpticalSelectionFeedback_Click() {
    Guard(m_context, "chkOpticalSelectionFeedback_Click", [this] {
        if (chkOpticalSelectionFeedback.IsChecked() && m_state.m_nOperationMode == kModeDali) {
            SendFeedbackCommand(kCmdRecallMinLevel, AddressKind::Broadcast, 0);
        }
    });
}

}  // namespace zd
