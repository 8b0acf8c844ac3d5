// The grid model: a table of cell texts with fixed heading rows and columns, the current cell,
// column widths and one font for the cells.
#pragma once

#include <string>
#include <vector>

#include "ui/Control.h"

namespace zd {

class Grid : public Control {
  public:
    explicit Grid(std::string name, int rows = 2, int cols = 2);

    int Rows() const { return m_rows; }
    int Cols() const { return m_cols; }
    // Resizing keeps the texts of the cells that remain; new cells are empty.
    void SetRows(int rows);
    void SetCols(int cols);
    void SetSize(int rows, int cols);

    int FixedRows() const { return m_fixedRows; }
    void SetFixedRows(int fixedRows);
    int FixedCols() const { return m_fixedCols; }
    void SetFixedCols(int fixedCols);

    // Cells are addressed from 0, headings included; outside the grid: std::out_of_range.
    const std::string& TextMatrix(int row, int col) const;
    void SetTextMatrix(int row, int col, const std::string& text);
    // Empties every cell that is not a heading.
    void ClearData();

    // The current cell.
    int Row() const { return m_row; }
    int Col() const { return m_col; }
    void SetRow(int row);
    void SetCol(int col);

    double ColWidth(int col) const;
    void SetColWidth(int col, double width);

    const std::string& FontName() const { return m_fontName; }
    void SetFontName(const std::string& fontName);
    double FontSize() const { return m_fontSize; }
    void SetFontSize(double fontSize);
    bool FontBold() const { return m_fontBold; }
    void SetFontBold(bool fontBold);

    // Raised with the cell after its text changed (besides OnChanged), so a view updates one cell.
    Event<int, int> CellChanged;

  private:
    void CheckCell(int row, int col) const;
    void CheckCol(int col) const;
    void Resize(int rows, int cols);

    int m_rows = 0;
    int m_cols = 0;
    int m_fixedRows = 1;
    int m_fixedCols = 1;
    std::vector<std::string> m_cells;
    std::vector<double> m_colWidths;
    int m_row = 0;
    int m_col = 0;
    std::string m_fontName;  // empty: the view's default font
    double m_fontSize = 8.25;
    bool m_fontBold = false;
};

}  // namespace zd
