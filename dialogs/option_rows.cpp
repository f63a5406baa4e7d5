#include "dialogs/option_rows.h"

#include "widgets/hotspot.h"
#include "widgets/skin_style.h"

#include <QCheckBox>
#include <QComboBox>

#include <algorithm>

namespace {

constexpr int FirstTop = dialogskin::RowsTop + 5;
constexpr int RowPitch = 26;
constexpr int RowHeight = 20;
constexpr int LabelLeft = 20;
constexpr int LabelWidth = 150;
constexpr int ControlLeft = LabelLeft + LabelWidth + 6;
constexpr int ControlRight = 309; // the right edge of the options dialog's list
constexpr int DropButtonSize = 19;
constexpr int CheckBoxSize = 13;
// Room kept between the last row and the bottom of the rows' panel.
constexpr int BottomMargin = 6;

} // namespace

OptionRows::OptionRows(QWidget& dialog)
    : m_dialog(dialog),
      m_dropButton(dialogskin::PaintDropButton(QSize(DropButtonSize, DropButtonSize), false)),
      m_dropButtonLight(dialogskin::PaintDropButton(QSize(DropButtonSize, DropButtonSize), true))
{
}

int OptionRows::nextTop() const
{
    return FirstTop + static_cast<int>(m_rows.size()) * RowPitch;
}

QCheckBox* OptionRows::addSwitch(const char* name, const QString& label, const QString& tooltip,
                                 std::function<bool(const ExtraSettings&)> read,
                                 std::function<void(ExtraSettings&, bool)> write)
{
    const int top = nextTop();
    auto* box = new QCheckBox(&m_dialog);
    box->setObjectName(QLatin1String(name));
    box->setAccessibleName(QString(label).remove(QLatin1Char(':')));
    box->setToolTip(tooltip);
    box->setGeometry(ControlLeft, top + (RowHeight - CheckBoxSize) / 2, CheckBoxSize, CheckBoxSize);
    m_captions.append({label, QRect(LabelLeft, top, LabelWidth, RowHeight)});
    m_controls.append(box);
    m_rows.append({[box, read](const ExtraSettings& s) { box->setChecked(read(s)); },
                   [box, write](ExtraSettings& s) { write(s, box->isChecked()); }});
    return box;
}

QComboBox* OptionRows::addText(const char* name, const QString& label, const QString& tooltip,
                               const QStringList& suggestions,
                               std::function<QString(const ExtraSettings&)> read,
                               std::function<void(ExtraSettings&, const QString&)> write)
{
    QList<Item> items;
    for (const QString& suggestion : suggestions)
        items.append({suggestion, suggestion});
    QComboBox* list = addChoice(
        name, label, tooltip, items,
        [read](const ExtraSettings& s) { return QVariant(read(s)); },
        [write](ExtraSettings& s, const QVariant& value) { write(s, value.toString()); });
    list->setEditable(true);
    list->setInsertPolicy(QComboBox::NoInsert);
    // The text typed is the value, whether or not it is one of the suggestions.
    m_rows.last().store = [list, write](ExtraSettings& s) { write(s, list->currentText()); };
    return list;
}

QComboBox* OptionRows::addChoice(const char* name, const QString& label, const QString& tooltip,
                                 const QList<Item>& items,
                                 std::function<QVariant(const ExtraSettings&)> read,
                                 std::function<void(ExtraSettings&, const QVariant&)> write)
{
    const int top = nextTop();
    auto* list = new QComboBox(&m_dialog);
    list->setObjectName(QLatin1String(name));
    list->setAccessibleName(QString(label).remove(QLatin1Char(':')));
    list->setToolTip(tooltip);
    list->setGeometry(ControlLeft, top, ControlRight - ControlLeft, RowHeight);
    list->setFont(skin::Font(11));
    for (const Item& item : items)
        list->addItem(item.first, item.second);

    // Laid over the arrow end of the list, so it is created after the list to lie on top of it.
    auto* drop = new Hotspot(&m_dialog);
    drop->setObjectName(QLatin1String(name) + QStringLiteral("Button"));
    drop->setGeometry(ControlRight - DropButtonSize, top + 1, DropButtonSize, DropButtonSize);
    drop->setPicture(m_dropButton);
    QObject::connect(drop, &Hotspot::hovered, drop,
                     [this, drop] { drop->setPicture(m_dropButtonLight); });
    QObject::connect(drop, &Hotspot::clicked, list, [list] { list->showPopup(); });
    m_dropButtons.append(drop);

    m_captions.append({label, QRect(LabelLeft, top, LabelWidth, RowHeight)});
    m_controls.append(list);
    m_rows.append({[list, read](const ExtraSettings& s) {
                       const QVariant value = read(s);
                       int index = list->findData(value);
                       if (index < 0) {
                           list->addItem(value.toString(), value);
                           index = list->count() - 1;
                       }
                       list->setCurrentIndex(index);
                   },
                   [list, write](ExtraSettings& s) { write(s, list->currentData()); }});
    return list;
}

void OptionRows::load(const ExtraSettings& settings) const
{
    for (const Row& row : m_rows)
        row.load(settings);
}

ExtraSettings OptionRows::applied(ExtraSettings settings) const
{
    for (const Row& row : m_rows)
        row.store(settings);
    return settings;
}

int OptionRows::dialogHeight() const
{
    const int rowsEnd = nextTop() - RowPitch + RowHeight + BottomMargin;
    return std::max(dialogskin::Height, rowsEnd + dialogskin::ButtonStrip);
}

QList<dialogskin::Caption> OptionRows::captions() const
{
    return m_captions;
}

void OptionRows::restDropButtons() const
{
    for (Hotspot* drop : m_dropButtons)
        drop->setPicture(m_dropButton);
}
