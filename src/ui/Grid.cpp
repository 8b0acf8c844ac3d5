#include "ui/Grid.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

namespace zd {

namespace {
constexpr double kDefaultColWidth = 1000;
}

Grid::Grid(std::string name, int rows, int cols) : Control(std::move(name)) {
    Resize(rows, cols);
}

void Grid::CheckCell(int row, int col) const {
    if (row < 0 || row >= m_rows || col < 0 || col >= m_cols) {
        throw std::out_of_range(Name() + ": cell (" + std::to_string(row) + ", " +
                                std::to_string(col) + ") out of range");
    }
}

void Grid::CheckCol(int col) const {
    if (col < 0 || col >= m_cols) {
        throw std::out_of_range(Name() + ": column " + std::to_string(col) + " out of range");
    }
}

void Grid::Resize(int rows, int cols) {
    rows = std::max(0, rows);
    cols = std::max(0, cols);
    std::vector<std::string> cells(static_cast<std::size_t>(rows) * static_cast<std::size_t>(cols));
    for (int r = 0; r < std::min(rows, m_rows); ++r) {
        for (int c = 0; c < std::min(cols, m_cols); ++c) {
            cells[static_cast<std::size_t>(r * cols + c)] =
                std::move(m_cells[static_cast<std::size_t>(r * m_cols + c)]);
        }
    }
    m_cells = std::move(cells);
    m_colWidths.resize(static_cast<std::size_t>(cols), kDefaultColWidth);
    m_rows = rows;
    m_cols = cols;
    m_row = std::clamp(m_row, 0, std::max(0, rows - 1));
    m_col = std::clamp(m_col, 0, std::max(0, cols - 1));
}

void Grid::SetRows(int rows) {
    SetSize(rows, m_cols);
}
void Grid::SetCols(int cols) {
    SetSize(m_rows, cols);
}

void Grid::SetSize(int rows, int cols) {
    if (rows == m_rows && cols == m_cols) {
        return;
    }
    Resize(rows, cols);
    RaiseChanged();
}

void Grid::SetFixedRows(int fixedRows) {
    Assign(m_fixedRows, std::max(0, fixedRows));
}
void Grid::SetFixedCols(int fixedCols) {
    Assign(m_fixedCols, std::max(0, fixedCols));
}

const std::string& Grid::TextMatrix(int row, int col) const {
    CheckCell(row, col);
    return m_cells[static_cast<std::size_t>(row * m_cols + col)];
}

void Grid::SetTextMatrix(int row, int col, const std::string& text) {
    CheckCell(row, col);
    if (Assign(m_cells[static_cast<std::size_t>(row * m_cols + col)], text)) {
        CellChanged.Raise(row, col);
    }
}

void Grid::ClearData() {
    for (int r = m_fixedRows; r < m_rows; ++r) {
        for (int c = m_fixedCols; c < m_cols; ++c) {
            SetTextMatrix(r, c, {});
        }
    }
}

void Grid::SetRow(int row) {
    CheckCell(row, m_col);
    Assign(m_row, row);
}

void Grid::SetCol(int col) {
    CheckCell(m_row, col);
    Assign(m_col, col);
}

double Grid::ColWidth(int col) const {
    CheckCol(col);
    return m_colWidths[static_cast<std::size_t>(col)];
}

void Grid::SetColWidth(int col, double width) {
    CheckCol(col);
    Assign(m_colWidths[static_cast<std::size_t>(col)], width);
}

void Grid::SetFontName(const std::string& fontName) {
    Assign(m_fontName, fontName);
}
void Grid::SetFontSize(double fontSize) {
    Assign(m_fontSize, fontSize);
}
void Grid::SetFontBold(bool fontBold) {
    Assign(m_fontBold, fontBold);
}

}  // namespace zd
