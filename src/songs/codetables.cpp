#include "codetables.h"

#include "platform/prompter.h"
#include "store/errors.h"
#include "store/store.h"

#include <QComboBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QMenu>
#include <QVBoxLayout>

namespace sv {

namespace {

// A form of one labelled text field and its OK and Cancel buttons.
void buildOneFieldForm(UpdateForm *form, QLineEdit *edit, const QString &prompt, QLayout *buttons)
{
    auto *fields = new QFormLayout;
    fields->addRow(prompt, edit);
    auto *layout = new QVBoxLayout(form);
    layout->addLayout(fields);
    layout->addStretch();
    layout->addLayout(buttons);
    edit->setMinimumWidth(edit->fontMetrics().averageCharWidth() * 32);
}

BrowserSetup categorySetup()
{
    return BrowserSetup::oneList(QStringLiteral("BrowseCategories"), QStringLiteral("Categories"),
                                 TableId::Categories, cat::KeyCategory, cat::Category,
                                 QStringLiteral("80L(2)|M~Category~L(2)@s30@"));
}

BrowserSetup mediaSetup()
{
    BrowserSetup setup = BrowserSetup::oneList(
        QStringLiteral("BrowseMedia"), QStringLiteral("Browse Media Formats"), TableId::Media,
        med::KeyMedia, med::Media, QStringLiteral("80L(2)|M~Media~L(2)@s20@"));
    setup.listSuffix = QStringLiteral(":1");
    setup.addCaption = QStringLiteral("&Add");
    setup.closeCaption = QStringLiteral("E&xit");
    setup.selectFirst = false;
    return setup;
}

} // namespace

CategoryBrowser::CategoryBrowser(Session &session, Request request, QWidget *parent)
    : Browser(session, categorySetup(), request, parent)
{}

UpdateForm *CategoryBrowser::createForm(Request request)
{
    return new CategoryForm(session(), request);
}

CategoryForm::CategoryForm(Session &session, Request request, QWidget *parent)
    : UpdateForm(session, TableId::Categories, QStringLiteral("UpdateCategories"), request, parent)
{
    auto *name = new QLineEdit;
    bindLineEdit(name, cat::Category);
    buildOneFieldForm(this, name, QStringLiteral("&Category:"), okCancelButtons());
}

QString CategoryForm::title(Request request) const
{
    return request == Request::Insert ? QStringLiteral("Add Category")
                                      : QStringLiteral("Change Category");
}

MediaBrowser::MediaBrowser(Session &session, Request request, QWidget *parent)
    : Browser(session, mediaSetup(), request, parent)
{}

UpdateForm *MediaBrowser::createForm(Request request)
{
    return new MediaForm(session(), request);
}

void MediaBrowser::extendPopupMenu(QMenu *menu)
{
    QAction *selectEntry = menu->addAction(QStringLiteral("&Select"), this, &Browser::select);
    selectEntry->setEnabled(isSelectMode() && !list()->model()->isEmpty());
}

MediaForm::MediaForm(Session &session, Request request, QWidget *parent)
    : UpdateForm(session, TableId::Media, QStringLiteral("UpdateMedia"), request, parent)
{
    auto *name = new QLineEdit;
    bindLineEdit(name, med::Media);
    buildOneFieldForm(this, name, QStringLiteral("&Media:"), okCancelButtons());
}

QString MediaForm::title(Request request) const
{
    return request == Request::Insert ? QStringLiteral("Adding Media Format")
                                      : QStringLiteral("Changing Media Format");
}

void fillMediaChoices(Store &store, QComboBox *choices, const QString &current)
{
    Table &media = store.table(TableId::Media);
    const Record keep = media.buffer();
    choices->clear();
    media.set(med::KeyMedia);
    while (media.next())
        choices->addItem(media.buffer().text(med::Media));
    media.buffer() = keep;
    if (choices->count() == 0)
        choices->setCurrentText(QString());
    else
        choices->setCurrentText(current.isEmpty() ? choices->itemText(0) : current);
}

void fillCategoryChoices(Store &store, QComboBox *choices, qint64 currentId)
{
    Table &categories = store.table(TableId::Categories);
    const Record keep = categories.buffer();
    QString currentName;
    choices->clear();
    choices->addItem(QString(), qint64(0));
    categories.set(cat::KeyCategory);
    while (categories.next()) {
        const qint64 id = categories.buffer().number(cat::CategoryID);
        choices->addItem(categories.buffer().text(cat::Category), id);
        if (id == currentId)
            currentName = categories.buffer().text(cat::Category);
    }
    categories.buffer() = keep;
    choices->setCurrentText(currentName);
}

std::optional<qint64> chosenCategory(const QComboBox *choices)
{
    const QString name = choices->currentText().trimmed();
    if (name.isEmpty())
        return 0;
    for (int i = 0; i < choices->count(); ++i) {
        if (choices->itemText(i).compare(name, Qt::CaseInsensitive) == 0)
            return choices->itemData(i).toLongLong();
    }
    return std::nullopt;
}

namespace {

bool addCategory(Store &store, const QString &name)
{
    Table &categories = store.table(TableId::Categories);
    const Record keep = categories.buffer();
    qint64 highest = 0;
    const bool numbered = categories.highest(cat::KeyCategoryID, cat::CategoryID, highest);
    categories.buffer().clear();
    categories.buffer().setNumber(cat::CategoryID, highest + 1);
    categories.buffer().setText(cat::Category, name);
    const bool added = numbered && categories.add();
    if (!added)
        ask(Message{QStringLiteral("Error!"),
                    QStringLiteral("Unable to add category - ") + errorText(), Ok, Ok,
                    Icon::Information});
    categories.buffer() = keep;
    return added;
}

} // namespace

std::optional<qint64> enteredCategory(Store &store, QComboBox *choices)
{
    if (const std::optional<qint64> id = chosenCategory(choices))
        return id;
    const QString name = choices->currentText().trimmed();
    const Message question{QStringLiteral("Category not found"),
                           QStringLiteral("Add new category?"), Yes | No, Yes, Icon::Question};
    if (ask(question) == Yes) {
        const bool added = addCategory(store, name);
        fillCategoryChoices(store, choices, 0); // another station may have added some too
        choices->setCurrentText(name);
        if (const std::optional<qint64> id = chosenCategory(choices); added && id)
            return id;
    }
    choices->setFocus();
    return std::nullopt;
}

QString CategoryNames::name(qint64 id)
{
    if (id == 0)
        return QString();
    const auto cached = m_names.constFind(id);
    if (cached != m_names.constEnd())
        return *cached;
    Table &categories = m_store.table(TableId::Categories);
    const Record keep = categories.buffer();
    const Table::CurrentRecord current = categories.current();
    categories.buffer().setNumber(cat::CategoryID, id);
    const QString name =
        categories.get(cat::KeyCategoryID) ? categories.buffer().text(cat::Category) : QString();
    categories.buffer() = keep;
    categories.setCurrent(current);
    if (m_names.size() > 500)
        m_names.clear();
    m_names.insert(id, name);
    return name;
}

} // namespace sv
