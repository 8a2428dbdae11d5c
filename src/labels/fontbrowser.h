#pragma once

#include "app/browser.h"
#include "app/updateform.h"

class QLabel;
class QLineEdit;

namespace sv {

// "Favorite Fonts": the favourite fonts the label areas print in, picked with Select, added
// and changed through the font dialog, or typed in the free-form font form.
class FontBrowser : public Browser
{
    Q_OBJECT

public:
    FontBrowser(Session &session, Request request = Request::None, QWidget *parent = nullptr);

    // "&Freeform": the highlighted font (a new one when there is none) with its values typed.
    void freeform();

protected:
    UpdateForm *createForm(Request request) override;

private:
    bool m_freeform = false;
};

// "Update the Fonts File": opens the font dialog at once on the record's values; Ok there
// saves the font, Cancel leaves it as it was.
class FontForm : public UpdateForm
{
    Q_OBJECT

public:
    FontForm(Session &session, Request request, QWidget *parent = nullptr);

    // Puts up the font dialog (done at once when the form is first shown).
    void chooseFont();

protected:
    void loadFields() override;
    QString title(Request request) const override;
    QString duplicateKeyName(int key) const override;
    bool hasHistoryKey() const override { return false; }
    void showEvent(QShowEvent *event) override;

private:
    QLabel *m_values = nullptr;
    bool m_asked = false;
};

// "Update Font Information (Freeform)": the four values of a favourite font typed as text.
class FreeformFontForm : public UpdateForm
{
    Q_OBJECT

public:
    FreeformFontForm(Session &session, Request request, QWidget *parent = nullptr);

protected:
    QString title(Request request) const override;
    QString duplicateKeyName(int key) const override;
    bool checkFields() override;

private:
    QLineEdit *m_typeFace = nullptr;
    QLineEdit *m_size = nullptr;
};

} // namespace sv
