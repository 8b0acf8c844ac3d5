#include "report/ReportPdf.h"

#include <algorithm>

#include <QAbstractTextDocumentLayout>
#include <QBuffer>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextLayout>
#include <QTextTable>

namespace zd {

namespace {

// The page is laid out in the units of a screen, so that the report's pixel sizes (padding,
// borders) look as they do in a browser.
constexpr int kResolution = 96;
constexpr double kLargestPointSize = 9.0;
constexpr double kSmallestPointSize = 5.0;

// The widest word in any cell of one column, headings in their bold.
double WidestWord(const QTextDocument& document, const QTextTable& table, int column,
                  const QPaintDevice& device) {
    double widest = 0;
    for (int row = 0; row < table.rows(); ++row) {
        const QTextTableCell cell = table.cellAt(row, column);
        if (cell.column() != column) continue;
        for (auto block = cell.begin(); !block.atEnd(); ++block) {
            for (auto it = block.currentBlock().begin(); !it.atEnd(); ++it) {
                const QTextFragment fragment = it.fragment();
                const QFontMetricsF metrics(
                    fragment.charFormat().font().resolve(document.defaultFont()), &device);
                for (const QString& word :
                     fragment.text().split(QLatin1Char(' '), Qt::SkipEmptyParts))
                    widest = std::max(widest, metrics.horizontalAdvance(word));
            }
        }
    }
    return widest;
}

// The widest of the document's tables, each column at the width of its widest word.
double WidestTable(const QTextDocument& document, const QPaintDevice& device) {
    double widest = 0;
    for (QTextFrame* frame : document.rootFrame()->childFrames()) {
        const auto* table = qobject_cast<const QTextTable*>(frame);
        if (!table) continue;
        const QTextTableFormat format = table->format();
        // Each column's padding and borders, on either side, and the spacing between cells.
        double width = format.cellSpacing() + 2 * format.border();
        for (int column = 0; column < table->columns(); ++column) {
            const QTextTableCellFormat cell = table->cellAt(0, column).format().toTableCellFormat();
            const double padding = cell.hasProperty(QTextFormat::TableCellLeftPadding)
                                       ? cell.leftPadding() + cell.rightPadding()
                                       : 2 * format.cellPadding();
            width += WidestWord(document, *table, column, device) + padding + 2 * format.border() +
                     format.cellSpacing() + cell.leftBorder() + cell.rightBorder();
        }
        widest = std::max(widest, width);
    }
    return widest;
}

// Whether the laid out document breaks a line inside a word (between two letters or digits): the
// table layout may give a column less than its widest word even when the widths add up.
bool SplitsWords(const QTextDocument& document) {
    document.documentLayout()->documentSize();
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        const QTextLayout* layout = block.layout();
        if (!layout) continue;
        const QString text = block.text();
        for (int i = 0; i + 1 < layout->lineCount(); ++i) {
            const QTextLine line = layout->lineAt(i);
            const int end = line.textStart() + line.textLength();
            if (end <= 0 || end >= text.size()) continue;
            if (text[end - 1].isLetterOrNumber() && text[end].isLetterOrNumber()) return true;
        }
    }
    return false;
}

}  // namespace

std::string ReportPdf(const std::string& html, const std::string& title) {
    QBuffer bytes;
    bytes.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&bytes);
        writer.setResolution(kResolution);
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setPageOrientation(QPageLayout::Landscape);
        writer.setPageMargins(QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter);
        writer.setTitle(QString::fromStdString(title));

        QTextDocument document;
        document.documentLayout()->setPaintDevice(&writer);
        document.setHtml(QString::fromStdString(html));
        const QSizeF page = writer.pageLayout().paintRectPixels(kResolution).size();
        document.setPageSize(page);
        // A table that runs onto the next page repeats its headings there.
        for (QTextFrame* frame : document.rootFrame()->childFrames()) {
            if (auto* table = qobject_cast<QTextTable*>(frame)) {
                QTextTableFormat format = table->format();
                format.setHeaderRowCount(1);
                table->setFormat(format);
            }
        }
        const double available = page.width() - 2 * document.rootFrame()->frameFormat().margin();
        // A few percent to spare: the layout rounds each column up.
        QFont font = document.defaultFont();
        for (double size = kLargestPointSize; size >= kSmallestPointSize; size -= 0.5) {
            font.setPointSizeF(size);
            document.setDefaultFont(font);
            if (WidestTable(document, writer) * 1.03 <= available && !SplitsWords(document)) break;
        }
        document.print(&writer);
    }
    return bytes.data().toStdString();
}

}  // namespace zd
