#include "engine/ArchiveFile.h"

#include <functional>
#include <limits>
#include <optional>

#include "devices/NumericText.h"
#include "platform/Error.h"
#include "platform/Files.h"

namespace zd {

namespace {

constexpr const char* kDeclaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n";

std::string WriterVersion() {
    return std::to_string(kArchiveWriterMajor) + "." + std::to_string(kArchiveWriterMinor) + "." +
           std::to_string(kArchiveWriterRevision);
}

// The grid column for an id the reader accepted; the grids end at column 16, so a higher id is
// refused rather than dropped unnoticed.
int ColumnFor(int address, int id, const char* what) {
    if (id >= kArchiveColumns) {
        throw ControlError("Subscript out of range: " + std::string(what) + " " +
                               std::to_string(id) + " of the ballast at address " +
                               std::to_string(address) + " has no column in the grid",
                           kLibraryTitle, kErrSubscriptOutOfRange);
    }
    return id + 1;
}

// The attribute as a 16-bit number, or nothing when it is missing or no number at all, which the
// format treats as not given. A text that only a loose reading takes for a number (" 5", "+5",
// "05", "5.0", "&H5") is refused with its place: read as a number here and as none by another
// tool, it would make one file mean two things.
std::optional<std::int16_t> NumericAttribute(const XmlNode& node, const char* name, int address) {
    const std::optional<std::string> text = node.Attribute(name);
    if (!text || !IsNumericText(*text)) return std::nullopt;
    const std::string field = "the " + std::string(name) + " of a " + node.Name() +
                              " of the ballast at address " + std::to_string(address) + " (line " +
                              std::to_string(node.Line()) + ")";
    return static_cast<std::int16_t>(DecimalField(*text, field,
                                                  std::numeric_limits<std::int16_t>::min(),
                                                  std::numeric_limits<std::int16_t>::max()));
}

}  // namespace

std::uint8_t ArchiveCellByte(const std::string& text) {
    const std::int16_t value = TextToInteger(text);
    if (value < 0 || value > 255) throw ControlError("Overflow", kLibraryTitle, kErrOverflow);
    return static_cast<std::uint8_t>(value);
}

std::string ArchiveXml(const Archive& archive) {
    XmlDocument document = XmlDocument::Create("physicaltree");
    XmlNode tree = document.DocumentElement();
    XmlDocument::SetAttribute(tree, "generator", kArchiveGenerator);
    XmlDocument::SetAttribute(tree, "version", WriterVersion());
    XmlDocument::SetAttribute(tree, "revision", "");
    XmlNode devices =
        XmlDocument::AppendElement(XmlDocument::AppendElement(tree, "hub"), "devices");
    XmlNode device = XmlDocument::AppendElement(devices, "device");
    XmlDocument::SetAttribute(device, "name", kArchiveDeviceName);
    XmlNode loop = XmlDocument::AppendElement(XmlDocument::AppendElement(device, "loops"), "loop");
    XmlNode ballasts = XmlDocument::AppendElement(loop, "ballasts");

    for (int address = 0; address < kArchiveAddresses; ++address) {
        const ArchiveBallast& entries = archive.ballasts[static_cast<std::size_t>(address)];
        // The ballast element is only made once it has something to hold.
        XmlNode ballast;
        auto entry = [&](const char* name) {
            if (!ballast) {
                ballast = XmlDocument::AppendElement(ballasts, "ballast");
                XmlDocument::SetAttribute(ballast, "address", std::to_string(address));
            }
            return XmlDocument::AppendElement(ballast, name);
        };
        for (int scene = 0; scene < kArchiveColumns; ++scene) {
            const std::optional<std::uint8_t> level =
                entries.scenes[static_cast<std::size_t>(scene)];
            if (!level || *level == kArchiveNotInScene) continue;
            XmlNode element = entry("scene");
            XmlDocument::SetAttribute(element, "id", std::to_string(scene));
            XmlDocument::SetAttribute(element, "lightlevel", std::to_string(*level));
        }
        for (int group = 0; group < kArchiveColumns; ++group) {
            if (!entries.groups[static_cast<std::size_t>(group)].value_or(false)) continue;
            XmlDocument::SetAttribute(entry("group"), "id", std::to_string(group));
        }
    }
    return kDeclaration + tree.Xml();
}

void SaveArchiveFile(const std::string& path, const Archive& archive) {
    WriteFileAtomically(path, ArchiveXml(archive));
}

bool ReadArchive(const XmlDocument& document, const ArchiveRows& rows,
                 std::set<std::int16_t>* listed) {
    const XmlNode loop = document.DocumentNode().SelectSingleNode(kArchiveLoopPath);
    if (!loop) return false;

    // A scene element without a usable id or level keeps the one read before it, in this whole
    // file, as the tool that writes these files always did.
    std::int16_t sceneId = 0;
    std::int16_t level = 0;
    for (int address = 0; address < kArchiveAddresses; ++address) {
        const XmlNode ballast =
            loop.SelectSingleNode("./ballasts/ballast[@address='" + std::to_string(address) + "']");
        if (listed && ballast) listed->insert(static_cast<std::int16_t>(address));
        rows.clear(address);
        for (const XmlNode& child : ballast.Children()) {
            if (child.Name() == "group") {
                const std::optional<std::int16_t> id = NumericAttribute(child, "id", address);
                if (id && *id >= 0 && *id <= kArchiveHighestId)
                    rows.addGroup(address, ColumnFor(address, *id, "group") - 1);
            } else if (child.Name() == "scene") {
                sceneId = NumericAttribute(child, "id", address).value_or(sceneId);
                level = NumericAttribute(child, "lightlevel", address).value_or(level);
                if (sceneId >= 0 && sceneId <= kArchiveHighestId)
                    rows.setScene(address, ColumnFor(address, sceneId, "scene") - 1, level);
            }
        }
    }
    return true;
}

bool IsArchiveSceneLevel(std::int16_t level) {
    return level >= 0 && level <= 254;
}

bool LoadArchive(const XmlDocument& document, Archive& archive) {
    Archive read;
    read.listed.emplace();
    ArchiveRows rows;
    const auto at = [&](int address) -> ArchiveBallast& {
        return read.ballasts[static_cast<std::size_t>(address)];
    };
    rows.clear = [&](int address) { at(address) = ArchiveBallast::Empty(); };
    rows.addGroup = [&](int address, int group) {
        at(address).groups[static_cast<std::size_t>(group)] = true;
    };
    rows.setScene = [&](int address, int scene, std::int16_t level) {
        at(address).scenes[static_cast<std::size_t>(scene)] =
            IsArchiveSceneLevel(level) ? static_cast<std::uint8_t>(level) : kArchiveNotInScene;
    };
    if (!ReadArchive(document, rows, &*read.listed)) return false;
    archive = std::move(read);
    return true;
}

std::string ArchiveParseErrorText(const XmlParseError& error) {
    std::string reason = error.reason;
    // The reason ends with a line break of its own, which sets it apart from the line number.
    if (reason.empty() || reason.back() != '\n') reason += "\r\n";
    return "Your XML Document failed to load due the following error.\r\nError #: " +
           std::to_string(error.errorCode) + ": " + reason +
           "Line #: " + std::to_string(error.line) +
           "\r\nLine Position: " + std::to_string(error.linePos) +
           "\r\nPosition In File: " + std::to_string(error.filePos) +
           "\r\nSource Text: " + error.srcText + "\r\nDocument URL: " + error.url;
}

}  // namespace zd
