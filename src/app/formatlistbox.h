#pragma once

#include "browser.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QSpinBox;
class QTreeWidget;

namespace sv {

// "Format Listbox...": the columns an explore view shows and how, and the look of its
// list. Every change shows in the list at once; "&Default" brings back the designed
// columns. The browser keeps what was set when it closes.
class FormatListbox : public QDialog
{
    Q_OBJECT

public:
    FormatListbox(Browser &browser, const QList<BrowserSetup::ExploreColumn> &columns);
    static constexpr int HeaderLength = 20;

private:
    QWidget *buildColumnPart();
    QWidget *buildListPart();
    void fillLists();
    void showColumn();
    void columnEdited();
    void lookEdited();
    void moveColumn(int by);
    void addColumn();
    void hideColumn();
    void chooseFont();
    void backToDefault();
    int current() const; // the highlighted shown column, -1 when none
    void apply(int highlight);

    Browser &m_browser;
    QList<BrowserSetup::ExploreColumn> m_columns;
    QHash<QString, QString> m_descriptions; // by field name: what the available list says
    ListFormat m_layout;
    Browser::ListLook m_look;
    bool m_filling = false;
    QTreeWidget *m_shown = nullptr;
    QTreeWidget *m_available = nullptr;
    QLineEdit *m_header = nullptr;
    QSpinBox *m_headerOffset = nullptr;
    QComboBox *m_headerJustification = nullptr;
    QComboBox *m_fieldJustification = nullptr;
    QSpinBox *m_width = nullptr;
    QSpinBox *m_dataOffset = nullptr;
    QCheckBox *m_fixed = nullptr;
    QCheckBox *m_underline = nullptr;
    QCheckBox *m_border = nullptr;
    QCheckBox *m_resize = nullptr;
    QSpinBox *m_x = nullptr;
    QSpinBox *m_y = nullptr;
    QSpinBox *m_listWidth = nullptr;
    QSpinBox *m_listHeight = nullptr;
    QSpinBox *m_lineHeight = nullptr;
    QCheckBox *m_verticalScroll = nullptr;
    QCheckBox *m_horizontalScroll = nullptr;
};

} // namespace sv
