// Bindings of the controls with many entries: the list view and the tree view (both on a
// QTreeWidget), the grid (a QTableWidget with its heading row and column as headers) and the
// pop-up menu.
#include <QEvent>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMetaObject>
#include <QSignalBlocker>
#include <QTableWidget>
#include <QTreeWidget>
#include <algorithm>
#include <functional>
#include <unordered_map>
#include <vector>

#include "gui/BindingKinds.h"
#include "gui/ControlBinding.h"
#include "gui/Icons.h"
#include "ui/Controls.h"

namespace zd {

namespace {

constexpr int kImageRole = Qt::UserRole + 1;
constexpr int kKeyRole = Qt::UserRole + 2;

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

Qt::Alignment ToQt(Alignment alignment) {
    switch (alignment) {
        case Alignment::Right:
            return Qt::AlignRight | Qt::AlignVCenter;
        case Alignment::Center:
            return Qt::AlignHCenter | Qt::AlignVCenter;
        case Alignment::Left:
            break;
    }
    return Qt::AlignLeft | Qt::AlignVCenter;
}

void SetImage(QTreeWidgetItem& item, const std::string& image) {
    const QString key = Q(image);
    if (item.data(0, kImageRole).toString() == key && !item.data(0, kImageRole).isNull()) return;
    item.setData(0, kImageRole, key);
    item.setIcon(0, ImageIcon(image));
}

// Whether a mouse button is down on an item view: a keyboard move of the current row is a click,
// while the current row a mouse press sets is left to the click that follows the release.
class PressTracker : public QObject {
  public:
    explicit PressTracker(QAbstractItemView& view) : QObject(&view) {
        view.viewport()->installEventFilter(this);
    }
    bool Pressed() const { return m_pressed; }

  protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::MouseButtonPress ||
            event->type() == QEvent::MouseButtonDblClick)
            m_pressed = true;
        else if (event->type() == QEvent::MouseButtonRelease)
            m_pressed = false;
        return false;
    }

  private:
    bool m_pressed = false;
};

class ListViewBinding : public ControlBinding {
  public:
    ListViewBinding(ListView& model, QWidget* host, ControlBinding* parent)
        : ControlBinding(model, new QTreeWidget(host), parent),
          m_list(model),
          m_press(new PressTracker(*Tree())) {
        auto* widget = Tree();
        widget->setRootIsDecorated(false);
        widget->setUniformRowHeights(true);
        widget->setAllColumnsShowFocus(true);
        widget->header()->setStretchLastSection(false);
        widget->header()->setSectionsMovable(false);
        QObject::connect(widget->header(), &QHeaderView::sectionResized, Receiver(), [this] {
            if (!m_fitting) m_userSized = true;
        });
        // The rows may be rebuilt by the model's handler: the call runs after Qt's own handling
        // of the click is over.
        QObject::connect(widget, &QTreeWidget::itemClicked, Receiver(),
                         [this](QTreeWidgetItem* item) { Later(&ListView::ClickItem, item); });
        QObject::connect(widget, &QTreeWidget::currentItemChanged, Receiver(),
                         [this](QTreeWidgetItem* item) {
                             if (item && !m_press->Pressed()) Later(&ListView::ClickItem, item);
                         });
        QObject::connect(widget, &QTreeWidget::itemChanged, Receiver(),
                         [this](QTreeWidgetItem* item, int column) {
                             if (column != 0 || !m_list.CheckBoxes()) return;
                             const int index = Tree()->indexOfTopLevelItem(item) + 1;
                             const bool checked = item->checkState(0) == Qt::Checked;
                             FromUser([this, index, checked] { m_list.CheckItem(index, checked); });
                         });
    }

  protected:
    void SyncProperties() override {
        SyncColumns();
        SyncRows();
        FitColumns();
    }

  private:
    QTreeWidget* Tree() const { return static_cast<QTreeWidget*>(Widget()); }

    void Later(bool (ListView::*call)(int), QTreeWidgetItem* item) {
        const int index = Tree()->indexOfTopLevelItem(item) + 1;
        QMetaObject::invokeMethod(
            Receiver(),
            [this, call, index] { FromUser([this, call, index] { (m_list.*call)(index); }); },
            Qt::QueuedConnection);
    }

    int ColumnCount() const {
        return m_list.Style() == ListViewStyle::Report
                   ? std::max<int>(1, static_cast<int>(m_list.Columns().size()))
                   : 1;
    }

    void SyncColumns() {
        auto* widget = Tree();
        const bool report = m_list.Style() == ListViewStyle::Report;
        widget->setHeaderHidden(!report);
        // A list without columns shows its texts across the whole list.
        widget->header()->setStretchLastSection(!report);
        widget->setColumnCount(ColumnCount());
        if (!report) return;
        QStringList labels;
        for (const ColumnHeader& column : m_list.Columns()) labels << Q(column.text);
        widget->setHeaderLabels(labels);
        for (std::size_t c = 0; c < m_list.Columns().size(); ++c) {
            const ColumnHeader& column = m_list.Columns()[c];
            const int section = static_cast<int>(c);
            if (m_columnWidths.size() <= c) m_columnWidths.resize(c + 1, -1);
            // Widths the user dragged stay until the model gives a new one.
            if (m_columnWidths[c] != column.width) {
                m_columnWidths[c] = column.width;
                m_userSized = false;
            }
            widget->headerItem()->setTextAlignment(section, ToQt(column.alignment));
        }
    }

    void SyncRows() {
        auto* widget = Tree();
        const int count = m_list.ItemCount();
        bool prefix = static_cast<int>(m_rows.size()) <= count;
        for (std::size_t i = 0; prefix && i < m_rows.size(); ++i)
            prefix = m_rows[i] == &m_list.Item(static_cast<int>(i) + 1);
        if (!prefix) {
            widget->clear();
            m_rows.clear();
        }
        while (static_cast<int>(m_rows.size()) < count) {
            new QTreeWidgetItem(widget);
            m_rows.push_back(&m_list.Item(static_cast<int>(m_rows.size()) + 1));
        }
        const int columns = ColumnCount();
        for (int i = 0; i < count; ++i) {
            const ListItem& row = m_list.Item(i + 1);
            QTreeWidgetItem& item = *widget->topLevelItem(i);
            item.setText(0, Q(row.Text()));
            for (int c = 1; c < columns; ++c) {
                item.setText(c, Q(row.SubItem(c)));
                item.setTextAlignment(
                    c, ToQt(m_list.Columns()[static_cast<std::size_t>(c)].alignment));
            }
            SetImage(item, row.SmallIcon());
            if (m_list.CheckBoxes()) {
                item.setFlags(item.flags() | Qt::ItemIsUserCheckable);
                item.setCheckState(0, row.Checked() ? Qt::Checked : Qt::Unchecked);
            } else if (item.flags() & Qt::ItemIsUserCheckable) {
                item.setFlags(item.flags() & ~Qt::ItemIsUserCheckable);
                item.setData(0, Qt::CheckStateRole, QVariant());
            }
        }
        const ListItem* selected = m_list.SelectedItem();
        if (selected) {
            widget->setCurrentItem(widget->topLevelItem(selected->Index() - 1));
        } else {
            widget->setCurrentItem(nullptr);
            widget->clearSelection();
        }
    }

    // The model's widths were drawn for one font; with another, or with texts longer than the
    // column, a text would be cut. A column too narrow for its texts takes room from columns
    // wider than theirs, and widens anyway (the list then scrolls) when there is not enough.
    // Widths the user dragged stay until the model gives new ones.
    void FitColumns() {
        auto* widget = Tree();
        const int columns = static_cast<int>(m_list.Columns().size());
        if (m_list.Style() != ListViewStyle::Report || m_userSized || columns == 0) return;
        const QFontMetrics cells(widget->font());
        const QFontMetrics heads(widget->header()->font());
        const int pad = 2 * cells.horizontalAdvance(QLatin1Char('0'));
        // Column 0 also holds the check box and the icon.
        const int lead =
            widget->iconSize().width() +
            (m_list.CheckBoxes() ? widget->style()->pixelMetric(QStyle::PM_IndicatorWidth) + pad / 2
                                 : 0);
        std::vector<int> width(static_cast<std::size_t>(columns));
        std::vector<int> needed(static_cast<std::size_t>(columns));
        for (int c = 0; c < columns; ++c) {
            const auto i = static_cast<std::size_t>(c);
            width[i] = TwipsToPixels(m_list.Columns()[i].width);
            needed[i] = heads.horizontalAdvance(widget->headerItem()->text(c)) + pad;
        }
        for (int r = 0; r < widget->topLevelItemCount(); ++r) {
            const QTreeWidgetItem& item = *widget->topLevelItem(r);
            for (int c = 0; c < columns; ++c) {
                const int text = cells.horizontalAdvance(item.text(c)) + pad + (c == 0 ? lead : 0);
                needed[static_cast<std::size_t>(c)] =
                    std::max(needed[static_cast<std::size_t>(c)], text);
            }
        }
        int deficit = 0;
        int spare = 0;
        for (std::size_t i = 0; i < width.size(); ++i) {
            deficit += std::max(0, needed[i] - width[i]);
            spare += std::max(0, width[i] - needed[i]);
        }
        if (deficit > 0) {
            const int take = std::min(deficit, spare);
            for (std::size_t i = 0; i < width.size(); ++i) {
                if (width[i] > needed[i])
                    width[i] -= (width[i] - needed[i]) * take / std::max(1, spare);
                else
                    width[i] = needed[i];
            }
        }
        m_fitting = true;
        for (int c = 0; c < columns; ++c)
            if (widget->columnWidth(c) != width[static_cast<std::size_t>(c)])
                widget->setColumnWidth(c, width[static_cast<std::size_t>(c)]);
        m_fitting = false;
    }

    ListView& m_list;
    PressTracker* m_press;
    bool m_userSized = false;
    bool m_fitting = false;
    // The rows the widget shows, so that added rows are appended rather than rebuilt.
    std::vector<const ListItem*> m_rows;
    std::vector<double> m_columnWidths;
};

class TreeViewBinding : public ControlBinding {
  public:
    TreeViewBinding(TreeView& model, QWidget* host, ControlBinding* parent)
        : ControlBinding(model, new QTreeWidget(host), parent),
          m_tree(model),
          m_press(new PressTracker(*Tree())) {
        auto* widget = Tree();
        widget->setHeaderHidden(true);
        widget->setColumnCount(1);
        widget->setUniformRowHeights(true);
        QObject::connect(widget, &QTreeWidget::itemClicked, Receiver(),
                         [this](QTreeWidgetItem* item) { Select(item); });
        QObject::connect(widget, &QTreeWidget::currentItemChanged, Receiver(),
                         [this](QTreeWidgetItem* item) {
                             if (item && !m_press->Pressed()) Select(item);
                         });
        QObject::connect(widget, &QTreeWidget::itemExpanded, Receiver(),
                         [this](QTreeWidgetItem* item) { Expand(item, true); });
        QObject::connect(widget, &QTreeWidget::itemCollapsed, Receiver(),
                         [this](QTreeWidgetItem* item) { Expand(item, false); });
    }

  protected:
    void SyncProperties() override {
        auto* widget = Tree();
        const std::vector<TreeNode*> nodes = m_tree.Nodes();
        bool prefix = m_nodes.size() <= nodes.size();
        for (std::size_t i = 0; prefix && i < m_nodes.size(); ++i)
            prefix = m_nodes[i].node == nodes[i] && m_nodes[i].parent == nodes[i]->Parent() &&
                     m_nodes[i].key == nodes[i]->Key();
        if (!prefix) {
            widget->clear();
            m_nodes.clear();
            m_items.clear();
        }
        for (std::size_t i = m_nodes.size(); i < nodes.size(); ++i) {
            TreeNode* node = nodes[i];
            auto parentItem = node->Parent() ? m_items.find(node->Parent()) : m_items.end();
            auto* item = parentItem != m_items.end() ? new QTreeWidgetItem(parentItem->second)
                                                     : new QTreeWidgetItem(widget);
            item->setData(0, kKeyRole, Q(node->Key()));
            m_items[node] = item;
            m_nodes.push_back({node, node->Parent(), node->Key()});
        }
        for (TreeNode* node : nodes) {
            QTreeWidgetItem& item = *m_items[node];
            item.setText(0, Q(node->Text()));
            SetImage(item, node->Image());
            if (item.isExpanded() != node->Expanded()) item.setExpanded(node->Expanded());
        }
        TreeNode* selected = m_tree.SelectedNode();
        if (selected && m_items.count(selected)) {
            widget->setCurrentItem(m_items[selected]);
        } else {
            widget->setCurrentItem(nullptr);
            widget->clearSelection();
        }
    }

  private:
    struct Shown {
        const TreeNode* node;
        const TreeNode* parent;
        std::string key;
    };

    QTreeWidget* Tree() const { return static_cast<QTreeWidget*>(Widget()); }

    // Selecting a node may rebuild the tree (and open a page): it runs after Qt's click handling.
    void Select(QTreeWidgetItem* item) {
        const std::string key = item->data(0, kKeyRole).toString().toStdString();
        QMetaObject::invokeMethod(
            Receiver(), [this, key] { FromUser([this, key] { m_tree.SelectNode(key); }); },
            Qt::QueuedConnection);
    }

    void Expand(QTreeWidgetItem* item, bool expanded) {
        const std::string key = item->data(0, kKeyRole).toString().toStdString();
        FromUser([this, key, expanded] {
            if (TreeNode* node = m_tree.Node(key)) node->SetExpanded(expanded);
        });
    }

    TreeView& m_tree;
    PressTracker* m_press;
    std::vector<Shown> m_nodes;
    std::unordered_map<const TreeNode*, QTreeWidgetItem*> m_items;
};

// The grid's fixed first row and column become the table's headers, so they stay in view while
// the cells scroll; the top left heading sits on the corner.
class GridWidget : public QTableWidget {
  public:
    explicit GridWidget(QWidget* parent) : QTableWidget(parent), corner(new QLabel(this)) {
        corner->setAlignment(Qt::AlignCenter);
        corner->setAutoFillBackground(true);
        corner->setBackgroundRole(QPalette::Button);
    }
    QLabel* corner;

  protected:
    void updateGeometries() override {
        QTableWidget::updateGeometries();
        corner->setGeometry(frameWidth(), frameWidth(), verticalHeader()->width(),
                            horizontalHeader()->height());
        corner->setVisible(verticalHeader()->isVisible() && horizontalHeader()->isVisible());
        corner->raise();
    }
};

class GridBinding : public ControlBinding {
  public:
    GridBinding(Grid& model, QWidget* host, ControlBinding* parent)
        : ControlBinding(model, new GridWidget(host), parent), m_grid(model) {
        auto* widget = Table();
        widget->setSelectionMode(QAbstractItemView::SingleSelection);
        // The arrow keys move between the cells; Tab goes on to the tab's next control.
        widget->setTabKeyNavigation(false);
        widget->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
        widget->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
        widget->horizontalHeader()->setHighlightSections(false);
        widget->verticalHeader()->setHighlightSections(false);
        ConnectModel(model.CellChanged, [this](int row, int col) {
            const QSignalBlocker blocker(Widget());
            ShowCell(row, col);
        });
        QObject::connect(
            widget, &QTableWidget::itemChanged, Receiver(), [this](QTableWidgetItem* item) {
                const int row = item->row() + m_grid.FixedRows();
                const int col = item->column() + m_grid.FixedCols();
                const std::string text = item->text().toStdString();
                FromUser([this, row, col, text] { m_grid.SetTextMatrix(row, col, text); });
            });
        QObject::connect(widget, &QTableWidget::currentCellChanged, Receiver(),
                         [this](int row, int col) {
                             if (row < 0 || col < 0) return;
                             FromUser([this, row, col] {
                                 m_grid.SetRow(row + m_grid.FixedRows());
                                 m_grid.SetCol(col + m_grid.FixedCols());
                             });
                         });
    }

  protected:
    void SyncProperties() override {
        auto* widget = Table();
        const Shape shape{m_grid.Rows(), m_grid.Cols(), m_grid.FixedRows(), m_grid.FixedCols()};
        if (!(shape == m_shape)) {
            m_shape = shape;
            widget->setRowCount(std::max(0, shape.rows - shape.fixedRows));
            widget->setColumnCount(std::max(0, shape.cols - shape.fixedCols));
            widget->horizontalHeader()->setVisible(shape.fixedRows > 0);
            widget->verticalHeader()->setVisible(shape.fixedCols > 0);
            for (int r = 0; r < shape.rows; ++r)
                for (int c = 0; c < shape.cols; ++c) ShowCell(r, c);
        }
        QFont font = widget->font();
        if (!m_grid.FontName().empty()) {
            font.setFamily(Q(m_grid.FontName()));
            // The grid's font is a typewriter face; where it is missing, another fixed face.
            font.setStyleHint(QFont::TypeWriter);
        }
        font.setPointSizeF(SurfacePoints(m_grid.FontSize()));
        font.setBold(m_grid.FontBold());
        if (widget->font() != font) {
            widget->setFont(font);
            widget->horizontalHeader()->setFont(font);
            widget->verticalHeader()->setFont(font);
            static_cast<GridWidget*>(widget)->corner->setFont(font);
        }
        const int rowHeight = QFontMetrics(font).height() + 4;
        widget->verticalHeader()->setMinimumSectionSize(rowHeight);
        widget->verticalHeader()->setDefaultSectionSize(rowHeight);
        widget->horizontalHeader()->setFixedHeight(rowHeight);
        for (int c = shape.fixedCols; c < shape.cols; ++c)
            widget->setColumnWidth(c - shape.fixedCols, TwipsToPixels(m_grid.ColWidth(c)));
        if (shape.fixedCols > 0)
            widget->verticalHeader()->setFixedWidth(TwipsToPixels(m_grid.ColWidth(0)));
        const int row = m_grid.Row() - shape.fixedRows;
        const int col = m_grid.Col() - shape.fixedCols;
        if (row >= 0 && col >= 0 && (widget->currentRow() != row || widget->currentColumn() != col))
            widget->setCurrentCell(row, col);
    }

  private:
    struct Shape {
        int rows = -1;
        int cols = -1;
        int fixedRows = -1;
        int fixedCols = -1;
        bool operator==(const Shape&) const = default;
    };

    QTableWidget* Table() const { return static_cast<QTableWidget*>(Widget()); }

    // Only the first fixed row and column can be headers; further fixed ones show as cells.
    void ShowCell(int row, int col) {
        auto* widget = Table();
        const int fr = m_grid.FixedRows();
        const int fc = m_grid.FixedCols();
        const QString text = Q(m_grid.TextMatrix(row, col));
        if (row < fr && col < fc) {
            if (row == 0 && col == 0) static_cast<GridWidget*>(widget)->corner->setText(text);
        } else if (row < fr) {
            if (row == 0) widget->setHorizontalHeaderItem(col - fc, new QTableWidgetItem(text));
        } else if (col < fc) {
            if (col == 0) widget->setVerticalHeaderItem(row - fr, new QTableWidgetItem(text));
        } else if (QTableWidgetItem* item = widget->item(row - fr, col - fc)) {
            item->setText(text);
        } else {
            auto* created = new QTableWidgetItem(text);
            created->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            widget->setItem(row - fr, col - fc, created);
        }
    }

    Grid& m_grid;
    Shape m_shape;
};

// The menu shows where the model pops up, in twips of the widget it was bound under.
class PopupMenuBinding : public ControlBinding {
  public:
    PopupMenuBinding(PopupMenu& model, QWidget* host, ControlBinding* parent)
        : ControlBinding(model, new QWidget(host), parent), m_menu(model), m_anchor(host) {
        Widget()->hide();
        ConnectModel(model.OnPopup, [this](double x, double y) { Show(x, y); });
    }

  protected:
    QRect ModelRect() const override { return {}; }
    void SyncProperties() override { Widget()->hide(); }

  private:
    void Show(double x, double y) {
        QMenu menu(m_anchor);
        for (const MenuEntry& entry : m_menu.Entries()) {
            if (!entry.visible) continue;
            if (entry.separator) {
                menu.addSeparator();
                continue;
            }
            QAction* action = menu.addAction(Q(entry.caption));
            action->setEnabled(entry.enabled);
            action->setCheckable(entry.checked);
            action->setChecked(entry.checked);
            action->setData(Q(entry.name));
        }
        const QPoint at(TwipsToPixels(x), TwipsToPixels(y));
        QAction* chosen = menu.exec(m_anchor ? m_anchor->mapToGlobal(at) : at);
        if (chosen) {
            const std::string name = chosen->data().toString().toStdString();
            FromUser([this, name] { m_menu.ClickEntry(name); });
        }
    }

    PopupMenu& m_menu;
    QWidget* m_anchor;
};

}  // namespace

BindingPtr MakeListViewBinding(ListView& model, QWidget* host, ControlBinding* parent) {
    return std::make_unique<ListViewBinding>(model, host, parent);
}
BindingPtr MakeTreeViewBinding(TreeView& model, QWidget* host, ControlBinding* parent) {
    return std::make_unique<TreeViewBinding>(model, host, parent);
}
BindingPtr MakeGridBinding(Grid& model, QWidget* host, ControlBinding* parent) {
    return std::make_unique<GridBinding>(model, host, parent);
}
BindingPtr MakePopupMenuBinding(PopupMenu& model, QWidget* host, ControlBinding* parent) {
    return std::make_unique<PopupMenuBinding>(model, host, parent);
}

}  // namespace zd
