// Bindings of the single-valued controls: label, line, command button, check box, option button,
// combo box, text box, slider and scroll bar, progress bar.
#include <QAbstractSlider>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QSlider>
#include <QStyle>
#include <algorithm>
#include <cmath>
#include <functional>

#include "gui/BindingKinds.h"
#include "gui/ControlBinding.h"
#include "ui/Controls.h"

namespace zd {

namespace {

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

Qt::Alignment ToQt(Alignment alignment) {
    switch (alignment) {
        case Alignment::Right:
            return Qt::AlignRight;
        case Alignment::Center:
            return Qt::AlignHCenter;
        case Alignment::Left:
            break;
    }
    return Qt::AlignLeft;
}

// A label that reports the user's click.
class ClickableLabel : public QLabel {
  public:
    using QLabel::QLabel;
    std::function<void()> onClick;

  protected:
    void mouseReleaseEvent(QMouseEvent* event) override {
        QLabel::mouseReleaseEvent(event);
        if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()) &&
            onClick)
            onClick();
    }
};

class LabelBinding : public ControlBinding {
  public:
    LabelBinding(Label& model, QWidget* host, ControlBinding* parent)
        : ControlBinding(model, new ClickableLabel(host), parent), m_label(model) {
        auto* widget = static_cast<ClickableLabel*>(Widget());
        // A classic label breaks its caption at the label's width.
        widget->setWordWrap(true);
        widget->setTextFormat(Qt::PlainText);
        widget->onClick = [this] { FromUser([this] { m_label.Click(); }); };
    }
    ~LabelBinding() override { static_cast<ClickableLabel*>(Widget())->onClick = nullptr; }

  protected:
    void SyncProperties() override {
        auto* widget = static_cast<QLabel*>(Widget());
        widget->setText(Q(m_label.Caption()));
        widget->setAlignment(ToQt(m_label.GetAlignment()) | Qt::AlignTop);
    }

  private:
    Label& m_label;
};

// A line between two points: the widget covers the points' bounding box and draws the line.
class LineWidget : public QWidget {
  public:
    using QWidget::QWidget;
    QPoint from;
    QPoint to;

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawLine(from, to);
    }
};

class LineBinding : public ControlBinding {
  public:
    LineBinding(Line& model, QWidget* host, ControlBinding* parent)
        : ControlBinding(model, new LineWidget(host), parent), m_line(model) {
        Widget()->setAttribute(Qt::WA_TransparentForMouseEvents);
    }

  protected:
    QRect ModelRect() const override {
        const QPoint a(TwipsToPixels(m_line.X1()), TwipsToPixels(m_line.Y1()));
        const QPoint b(TwipsToPixels(m_line.X2()), TwipsToPixels(m_line.Y2()));
        return QRect(a, b).normalized().adjusted(0, 0, 1, 1);
    }
    void SyncProperties() override {
        auto* widget = static_cast<LineWidget*>(Widget());
        const QRect box = ModelRect();
        widget->from =
            QPoint(TwipsToPixels(m_line.X1()), TwipsToPixels(m_line.Y1())) - box.topLeft();
        widget->to = QPoint(TwipsToPixels(m_line.X2()), TwipsToPixels(m_line.Y2())) - box.topLeft();
        widget->update();
    }

  private:
    Line& m_line;
};

class ButtonBinding : public ControlBinding {
  public:
    ButtonBinding(Button& model, QWidget* host, ControlBinding* parent)
        : ControlBinding(model, new QPushButton(host), parent), m_button(model) {
        QObject::connect(static_cast<QPushButton*>(Widget()), &QPushButton::clicked, Receiver(),
                         [this] { FromUser([this] { m_button.Click(); }); });
    }

  protected:
    void SyncProperties() override {
        auto* widget = static_cast<QPushButton*>(Widget());
        widget->setText(Wrapped(*widget, Q(m_button.Caption())));
    }

  private:
    // A classic command button breaks a caption too long for one line between its words, where
    // the button is tall enough for the lines.
    QString Wrapped(const QPushButton& widget, const QString& caption) const {
        const QRect box = ModelRect();
        const QFontMetrics metrics = widget.fontMetrics();
        const int margin = widget.style()->pixelMetric(QStyle::PM_ButtonMargin, nullptr, &widget);
        const int width = box.width() - 2 * margin;
        const auto fits = [&](const QString& line) {
            QString shown = line;
            return metrics.horizontalAdvance(shown.remove(QLatin1Char('&'))) <= width;
        };
        if (fits(caption)) return caption;
        QStringList lines;
        for (const QString& word : caption.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            if (!lines.isEmpty() && fits(lines.back() + QLatin1Char(' ') + word))
                lines.back() += QLatin1Char(' ') + word;
            else
                lines << word;
        }
        const int height = static_cast<int>(lines.size()) * metrics.lineSpacing() + margin;
        return height <= box.height() ? lines.join(QLatin1Char('\n')) : caption;
    }

    Button& m_button;
};

class CheckBoxBinding : public ControlBinding {
  public:
    CheckBoxBinding(CheckBox& model, QWidget* host, ControlBinding* parent)
        : ControlBinding(model, new QCheckBox(host), parent), m_check(model) {
        // The widget's own toggle is undone by the read-back when the model refuses the click.
        QObject::connect(static_cast<QCheckBox*>(Widget()), &QCheckBox::clicked, Receiver(),
                         [this] { FromUser([this] { m_check.Click(); }); });
    }

  protected:
    void SyncProperties() override {
        auto* widget = static_cast<QCheckBox*>(Widget());
        widget->setText(Q(m_check.Caption()));
        // A caption in a longer language may run past the box the layout gives it: the whole
        // text stays readable on hovering.
        widget->setToolTip(Q(m_check.Caption()));
        widget->setTristate(m_check.Value() == CheckState::Grayed);
        widget->setCheckState(m_check.Value() == CheckState::Checked  ? Qt::Checked
                              : m_check.Value() == CheckState::Grayed ? Qt::PartiallyChecked
                                                                      : Qt::Unchecked);
    }

  private:
    CheckBox& m_check;
};

class OptionButtonBinding : public ControlBinding {
  public:
    OptionButtonBinding(OptionButton& model, QWidget* host, ControlBinding* parent)
        : ControlBinding(model, new QRadioButton(host), parent), m_option(model) {
        auto* widget = static_cast<QRadioButton*>(Widget());
        // The model's group decides which option is on; the others follow through their models.
        widget->setAutoExclusive(false);
        QObject::connect(widget, &QRadioButton::clicked, Receiver(),
                         [this] { FromUser([this] { m_option.Click(); }); });
    }

  protected:
    void SyncProperties() override {
        auto* widget = static_cast<QRadioButton*>(Widget());
        widget->setText(Q(m_option.Caption()));
        widget->setChecked(m_option.Value());
    }

  private:
    OptionButton& m_option;
};

class ComboBoxBinding : public ControlBinding {
  public:
    ComboBoxBinding(ComboBox& model, QWidget* host, ControlBinding* parent)
        : ControlBinding(model, new QComboBox(host), parent), m_combo(model) {
        auto* widget = static_cast<QComboBox*>(Widget());
        widget->setMaxVisibleItems(16);
        QObject::connect(widget, &QComboBox::activated, Receiver(), [this](int index) {
            FromUser([this, index] { m_combo.SetListIndex(index); });
        });
    }

  protected:
    void SyncProperties() override {
        auto* widget = static_cast<QComboBox*>(Widget());
        const bool editable = m_combo.Style() != ComboStyle::DropDownList;
        if (widget->isEditable() != editable) {
            widget->setEditable(editable);
            if (editable) {
                QObject::connect(
                    widget->lineEdit(), &QLineEdit::textEdited, Receiver(),
                    [this](const QString& text) {
                        FromUser([this, text] { m_combo.SetText(text.toStdString()); });
                    });
            }
        }
        bool same = widget->count() == m_combo.ListCount();
        for (int i = 0; same && i < m_combo.ListCount(); ++i)
            same = widget->itemText(i) == Q(m_combo.List(i));
        if (!same) {
            widget->clear();
            for (int i = 0; i < m_combo.ListCount(); ++i) widget->addItem(Q(m_combo.List(i)));
        }
        widget->setCurrentIndex(m_combo.ListIndex());
        if (editable && widget->currentText() != Q(m_combo.Text()))
            widget->setEditText(Q(m_combo.Text()));
    }

  private:
    ComboBox& m_combo;
};

class LineEditBinding : public ControlBinding {
  public:
    LineEditBinding(TextBox& model, QWidget* host, ControlBinding* parent)
        : ControlBinding(model, new QLineEdit(host), parent), m_text(model) {
        QObject::connect(static_cast<QLineEdit*>(Widget()), &QLineEdit::textEdited, Receiver(),
                         [this](const QString& text) {
                             FromUser([this, text] { m_text.Type(text.toStdString()); });
                         });
    }

  protected:
    void SyncProperties() override {
        auto* widget = static_cast<QLineEdit*>(Widget());
        if (widget->text() != Q(m_text.Text())) {
            widget->setText(Q(m_text.Text()));
            widget->setCursorPosition(m_text.SelStart());
        }
        widget->setMaxLength(m_text.MaxLength() > 0 ? m_text.MaxLength() : 32767);
        widget->setReadOnly(m_text.Locked());
        widget->setAlignment(ToQt(m_text.GetAlignment()) | Qt::AlignVCenter);
    }

  private:
    TextBox& m_text;
};

class PlainTextBinding : public ControlBinding {
  public:
    PlainTextBinding(TextBox& model, QWidget* host, ControlBinding* parent)
        : ControlBinding(model, new QPlainTextEdit(host), parent), m_text(model) {
        auto* widget = static_cast<QPlainTextEdit*>(Widget());
        QObject::connect(widget, &QPlainTextEdit::textChanged, Receiver(), [this, widget] {
            FromUser([this, widget] { m_text.Type(widget->toPlainText().toStdString()); });
        });
    }

  protected:
    void SyncProperties() override {
        auto* widget = static_cast<QPlainTextEdit*>(Widget());
        if (widget->toPlainText() != Q(m_text.Text())) {
            widget->setPlainText(Q(m_text.Text()));
            widget->moveCursor(QTextCursor::End);
        }
        widget->setReadOnly(m_text.Locked());
    }

  private:
    TextBox& m_text;
};

class RangeBinding : public ControlBinding {
  public:
    RangeBinding(RangeControl& model, QAbstractSlider* widget, ControlBinding* parent)
        : ControlBinding(model, widget, parent), m_range(model) {
        // Dragging the thumb scrolls; a click on the track, a key or the release sets the value.
        QObject::connect(widget, &QAbstractSlider::sliderMoved, Receiver(), [this](int value) {
            FromUser([this, value] { m_range.DragTo(ToModel(value)); });
        });
        QObject::connect(widget, &QAbstractSlider::valueChanged, Receiver(),
                         [this, widget](int value) {
                             if (!widget->isSliderDown())
                                 FromUser([this, value] { m_range.SetValue(ToModel(value)); });
                         });
        QObject::connect(widget, &QAbstractSlider::sliderReleased, Receiver(), [this, widget] {
            FromUser([this, widget] { m_range.SetValue(ToModel(widget->value())); });
        });
    }

  protected:
    void SyncProperties() override {
        auto* widget = static_cast<QAbstractSlider*>(Widget());
        auto* slider = dynamic_cast<Slider*>(&m_range);
        // The control's vertical slider has its minimum at the top, and Up moves the thumb up;
        // Qt's has its maximum there. The widget holds the mirrored value, so that the thumb, the
        // keys, the wheel and the filled part of the groove all go the control's way.
        m_mirrored = slider && slider->GetOrientation() == Orientation::Vertical;
        widget->setRange(m_range.Min(), m_range.Max());
        widget->setValue(ToWidget(m_range.Value()));
        widget->setSingleStep(std::max(1, m_range.SmallChange()));
        widget->setPageStep(std::max(1, m_range.LargeChange()));
        if (slider) {
            auto* qslider = static_cast<QSlider*>(widget);
            qslider->setOrientation(m_mirrored ? Qt::Vertical : Qt::Horizontal);
            qslider->setTickPosition(slider->TickFrequency() > 0 ? QSlider::TicksBelow
                                                                 : QSlider::NoTicks);
            qslider->setTickInterval(slider->TickFrequency());
        }
    }

  private:
    int ToWidget(int value) const {
        return m_mirrored ? m_range.Min() + m_range.Max() - value : value;
    }
    int ToModel(int value) const { return ToWidget(value); }

    RangeControl& m_range;
    bool m_mirrored = false;
};

class ProgressBarBinding : public ControlBinding {
  public:
    ProgressBarBinding(ProgressBar& model, QWidget* host, ControlBinding* parent)
        : ControlBinding(model, new QProgressBar(host), parent), m_progress(model) {
        static_cast<QProgressBar*>(Widget())->setTextVisible(false);
    }

  protected:
    void SyncProperties() override {
        auto* widget = static_cast<QProgressBar*>(Widget());
        widget->setRange(static_cast<int>(std::lround(m_progress.Min())),
                         static_cast<int>(std::lround(m_progress.Max())));
        widget->setValue(static_cast<int>(std::lround(m_progress.Value())));
    }

  private:
    ProgressBar& m_progress;
};

}  // namespace

BindingPtr MakeLabelBinding(Label& model, QWidget* host, ControlBinding* parent) {
    return std::make_unique<LabelBinding>(model, host, parent);
}
BindingPtr MakeLineBinding(Line& model, QWidget* host, ControlBinding* parent) {
    return std::make_unique<LineBinding>(model, host, parent);
}
BindingPtr MakeButtonBinding(Button& model, QWidget* host, ControlBinding* parent) {
    return std::make_unique<ButtonBinding>(model, host, parent);
}
BindingPtr MakeCheckBoxBinding(CheckBox& model, QWidget* host, ControlBinding* parent) {
    return std::make_unique<CheckBoxBinding>(model, host, parent);
}
BindingPtr MakeOptionButtonBinding(OptionButton& model, QWidget* host, ControlBinding* parent) {
    return std::make_unique<OptionButtonBinding>(model, host, parent);
}
BindingPtr MakeComboBoxBinding(ComboBox& model, QWidget* host, ControlBinding* parent) {
    return std::make_unique<ComboBoxBinding>(model, host, parent);
}
BindingPtr MakeTextBoxBinding(TextBox& model, QWidget* host, ControlBinding* parent) {
    if (model.MultiLine()) return std::make_unique<PlainTextBinding>(model, host, parent);
    return std::make_unique<LineEditBinding>(model, host, parent);
}
BindingPtr MakeRangeBinding(RangeControl& model, QWidget* host, ControlBinding* parent) {
    QAbstractSlider* widget = nullptr;
    if (auto* bar = dynamic_cast<ScrollBar*>(&model)) {
        widget = new QScrollBar(
            bar->GetOrientation() == Orientation::Vertical ? Qt::Vertical : Qt::Horizontal, host);
    } else {
        widget = new QSlider(Qt::Horizontal, host);
    }
    return std::make_unique<RangeBinding>(model, widget, parent);
}
BindingPtr MakeProgressBarBinding(ProgressBar& model, QWidget* host, ControlBinding* parent) {
    return std::make_unique<ProgressBarBinding>(model, host, parent);
}

}  // namespace zd
