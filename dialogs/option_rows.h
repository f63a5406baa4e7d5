#pragma once

#include "dialogs/dialog_skin.h"
#include "settings/extra_settings.h"

#include <QList>
#include <QPixmap>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <functional>
#include <utility>

class Hotspot;
class QCheckBox;
class QComboBox;
class QWidget;

// The rows of a skinned dialog that lists choices one under the other: each row a label painted
// on the skin at the left and its control at the right, bound to one field of ExtraSettings. A row
// is one call naming its control, its label, a tooltip and how it reads and changes the settings;
// the dialog's height, the painted labels, the drop buttons over lists and the tab order follow
// from the rows in the order they were added.
class OptionRows
{
public:
    using Item = std::pair<QString, QVariant>; // the text shown and the value it stands for

    // The controls are created on the dialog.
    explicit OptionRows(QWidget& dialog);

    // A yes/no choice: a check box whose caption is the painted label.
    QCheckBox* addSwitch(const char* name, const QString& label, const QString& tooltip,
                         std::function<bool(const ExtraSettings&)> read,
                         std::function<void(ExtraSettings&, bool)> write);
    // A choice from a list. A stored value that is not among the items (a choice made where more
    // were offered) is shown as an item of its own rather than lost.
    QComboBox* addChoice(const char* name, const QString& label, const QString& tooltip,
                         const QList<Item>& items,
                         std::function<QVariant(const ExtraSettings&)> read,
                         std::function<void(ExtraSettings&, const QVariant&)> write);

    // A text that may be typed or picked from ready-made suggestions: an editable list whose value
    // is its text.
    QComboBox* addText(const char* name, const QString& label, const QString& tooltip,
                       const QStringList& suggestions,
                       std::function<QString(const ExtraSettings&)> read,
                       std::function<void(ExtraSettings&, const QString&)> write);

    // Shows the settings in the controls.
    void load(const ExtraSettings& settings) const;
    // The settings with every row's control applied to them.
    ExtraSettings applied(ExtraSettings settings) const;

    // The height the dialog needs: the classic 180 pixels, taller once the rows need more room.
    int dialogHeight() const;
    // The labels to paint on the skin.
    QList<dialogskin::Caption> captions() const;
    // The controls in the order they were added, for the tab order.
    const QList<QWidget*>& controls() const { return m_controls; }
    // The drop buttons back to their resting look (the pointer crossed the bare dialog).
    void restDropButtons() const;

private:
    int nextTop() const;

    struct Row
    {
        std::function<void(const ExtraSettings&)> load;
        std::function<void(ExtraSettings&)> store;
    };

    QWidget& m_dialog;
    QList<Row> m_rows;
    QList<dialogskin::Caption> m_captions;
    QList<QWidget*> m_controls;
    QList<Hotspot*> m_dropButtons;
    QPixmap m_dropButton;
    QPixmap m_dropButtonLight;
};
