#include "testscript.h"

#include "mainframe.h"
#include "messageboxprompter.h"

#include <QApplication>
#include <QFile>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>

#include <cstdio>

namespace sv {

namespace {

constexpr int StepMilliseconds = 50;

// Writes every question out and answers from the script, else shows it as usual.
class ScriptPrompter : public Prompter
{
public:
    Button ask(const Message &message) override
    {
        std::printf("question: %s: %s\n", qPrintable(message.caption), qPrintable(message.text));
        std::fflush(stdout);
        if (!answers.isEmpty())
            return answers.takeFirst();
        return m_boxes.ask(message);
    }
    QList<Button> answers;

private:
    MessageBoxPrompter m_boxes;
};

ScriptPrompter &scriptPrompter()
{
    static ScriptPrompter prompter;
    return prompter;
}

// The window the user works in: a dialog that holds the input (Preferences, the File
// Manager over it), else the newest window in the frame.
QWidget *newestWindow(MainFrame &frame)
{
    if (QWidget *modal = QApplication::activeModalWidget())
        return modal;
    const QList<QMdiSubWindow *> children = frame.mdiArea()->subWindowList(QMdiArea::CreationOrder);
    return children.isEmpty() ? nullptr : children.last()->widget();
}

// Makes the row showing `text` in some column the current one of a list in the window.
bool selectRow(QWidget *window, const QString &text)
{
    for (QTreeWidget *list :
         window ? window->findChildren<QTreeWidget *>() : QList<QTreeWidget *>()) {
        for (int column = 0; column < list->columnCount(); ++column) {
            const QList<QTreeWidgetItem *> found = list->findItems(text, Qt::MatchExactly, column);
            if (!found.isEmpty()) {
                list->setCurrentItem(found.first());
                return true;
            }
        }
    }
    return false;
}

QLineEdit *fieldAfter(QWidget *window, const QString &prompt)
{
    for (QFormLayout *layout : window->findChildren<QFormLayout *>()) {
        for (int row = 0; row < layout->rowCount(); ++row) {
            QLayoutItem *label = layout->itemAt(row, QFormLayout::LabelRole);
            auto *text = label ? qobject_cast<QLabel *>(label->widget()) : nullptr;
            QLayoutItem *field = layout->itemAt(row, QFormLayout::FieldRole);
            if (text && text->text() == prompt && field)
                return qobject_cast<QLineEdit *>(field->widget());
        }
    }
    return nullptr;
}

Button buttonNamed(const QString &name)
{
    const struct
    {
        const char *name;
        Button button;
    } buttons[] = {{"Yes", Yes}, {"No", No}, {"Cancel", Cancel}, {"Ok", Ok}, {"Retry", Retry}};
    for (const auto &entry : buttons) {
        if (name.compare(QString::fromUtf8(entry.name), Qt::CaseInsensitive) == 0)
            return entry.button;
    }
    return NoButton;
}

// Carries out one line; false when it names something not there (yet).
bool carryOut(MainFrame &frame, const QString &line)
{
    const QString command = line.section(u' ', 0, 0);
    const QString argument = line.section(u' ', 1);
    QWidget *window = newestWindow(frame);
    if (command == u"open")
        return frame.startProcedure(argument) != nullptr;
    if (command == u"press") {
        for (QPushButton *button :
             window ? window->findChildren<QPushButton *>() : QList<QPushButton *>()) {
            if (button->text() == argument && button->isEnabled()) {
                button->click();
                return true;
            }
        }
        return false;
    }
    if (command == u"type") {
        QLineEdit *edit = window ? fieldAfter(window, argument.section(u'=', 0, 0)) : nullptr;
        if (edit)
            edit->setText(argument.section(u'=', 1));
        return edit != nullptr;
    }
    if (command == u"select")
        return selectRow(window, argument);
    if (command == u"choose")
        queueChosenPath(argument);
    else if (command == u"answer")
        scriptPrompter().answers.append(buttonNamed(argument));
    else if (command == u"say") {
        std::printf("%s\n", qPrintable(argument));
        std::fflush(stdout);
    }
    return true;
}

void runSteps(MainFrame &frame, QStringList steps, int attempts)
{
    if (steps.isEmpty())
        return;
    QTimer::singleShot(StepMilliseconds, &frame, [&frame, steps, attempts]() mutable {
        if (carryOut(frame, steps.first()) || attempts > 100) {
            if (attempts > 100)
                std::fprintf(stderr, "test script: cannot %s\n", qPrintable(steps.first()));
            steps.removeFirst();
            attempts = 0;
        }
        runSteps(frame, steps, attempts + 1);
    });
}

} // namespace

void runTestScript(MainFrame &frame)
{
    const QString path = qEnvironmentVariable("SONGVANE_TEST_SCRIPT");
    if (path.isEmpty())
        return;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        std::fprintf(stderr, "test script: cannot read %s\n", qPrintable(path));
        return;
    }
    setPrompter(&scriptPrompter());
    QStringList steps;
    for (const QString &line : QString::fromUtf8(file.readAll()).split(u'\n')) {
        if (!line.trimmed().isEmpty())
            steps.append(line.trimmed());
    }
    runSteps(frame, steps, 0);
}

} // namespace sv
