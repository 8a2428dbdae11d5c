#pragma once

#include "app/browser.h"
#include "app/updateform.h"

#include <QHash>

#include <optional>

class QComboBox;

namespace sv {

class Store;

// Category names by number, for a song list's category column: looked up without moving
// the category file's buffer or position, and remembered until forget() (a category
// renamed here or by another station) or until many are held.
class CategoryNames
{
public:
    explicit CategoryNames(Store &store) : m_store(store) {}
    QString name(qint64 id); // "" for 0 or a number not on file
    void forget() { m_names.clear(); }

private:
    Store &m_store;
    QHash<qint64, QString> m_names;
};

// A form's choice lists: every media format (the current one, else the first, chosen),
// and every category after an empty entry, each with its number as item data. Both leave
// their file's buffer as it was.
void fillMediaChoices(Store &store, QComboBox *choices, const QString &current);
void fillCategoryChoices(Store &store, QComboBox *choices, qint64 currentId);
// The number of the category typed or chosen in such a list, matched without regard to
// case: 0 when the entry is blank, nothing when no category of that name is listed.
std::optional<qint64> chosenCategory(const QComboBox *choices);
// The number of the category an entry names. A name not on file is offered for adding
// ("Add new category?"): Yes adds it under the next number and lists it. Nothing when the
// user declined or the category could not be added (the user has been told); the cursor
// is then back in the list.
std::optional<qint64> enteredCategory(Store &store, QComboBox *choices);

// The category and media-format lists and their one-field forms.
class CategoryBrowser : public Browser
{
    Q_OBJECT

public:
    CategoryBrowser(Session &session, Request request, QWidget *parent = nullptr);

protected:
    UpdateForm *createForm(Request request) override;
};

class CategoryForm : public UpdateForm
{
    Q_OBJECT

public:
    CategoryForm(Session &session, Request request, QWidget *parent = nullptr);

protected:
    QString title(Request request) const override;
};

class MediaBrowser : public Browser
{
    Q_OBJECT

public:
    MediaBrowser(Session &session, Request request, QWidget *parent = nullptr);

protected:
    UpdateForm *createForm(Request request) override;
    void extendPopupMenu(QMenu *menu) override;
};

class MediaForm : public UpdateForm
{
    Q_OBJECT

public:
    MediaForm(Session &session, Request request, QWidget *parent = nullptr);

protected:
    QString title(Request request) const override;
};

} // namespace sv
