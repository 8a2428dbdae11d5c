#pragma once

#include "app/updateform.h"

#include <QHash>

class QButtonGroup;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QStackedWidget;
class QTabWidget;

namespace sv {

class Browser;

// "Update Label": a label's texts, fonts, justification and picture in tabs; or, as the
// label wizard ("Add Label Wizard"), the same areas as pages that can first be filled from
// an album or a file number. A new label takes its number at once.
class LabelForm : public UpdateForm
{
    Q_OBJECT

public:
    enum class Mode { Tabs, Wizard };
    LabelForm(Session &session, Request request, Mode mode = Mode::Tabs, QWidget *parent = nullptr);

    // The wizard's pages, in the order the tabs of the form have them.
    enum Page { WizardPage, General, FrontCover, BackCover, SidesA, SidesB, Position };
    Mode mode() const { return m_mode; }
    int currentPage() const;
    QTabWidget *tabs() const { return m_tabs; }
    void next();
    void back();
    void finish();

    // Fills the texts from the album in the album buffer, or from the song in the song
    // buffer and the songs of its file number, and says so.
    void fillFromAlbum();
    void fillFromFileNumber();
    void fillFrom(TableId source, void (*fill)(Store &, const Record &, Record &));
    void selectAlbum();      // "&Select Album"
    void selectFileNumber(); // "&Select File Number"
    void pickThenFill(Browser *picker, void (LabelForm::*fill)());
    // "Select Font" beside an area: the favourite fonts to pick from.
    void selectFont(int fontField);
    QString fontDescriptionShown(int fontField) const;
    void selectImageFile(); // "&Select File"
    void preview();

    QSize sizeHint() const override { return {640, 520}; }

protected:
    void primeDefaults(Record &label) override;
    void loadFields() override;
    void storeFields() override;
    bool checkFields() override;
    QString title(Request request) const override;
    QString duplicateKeyName(int key) const override;

private:
    QWidget *generalPage();
    QWidget *memoPage(QPlainTextEdit *&edit, int maxLength, int fontField, const QString &prompt);
    QWidget *positionPage();
    QWidget *wizardPage();
    QLayout *fontRow(int fontField, const QString &caption);
    QButtonGroup *options(const QStringList &captions, QLayout *into);
    void showFontDescriptions();
    void imageSizeChosen(int option);
    void showWizardPage(int page);
    void typeChosen(int option);
    bool isCassette() const;

    Mode m_mode;
    TableUses m_lookups; // fonts, albums, songs
    QTabWidget *m_tabs = nullptr;
    QStackedWidget *m_pages = nullptr;
    QHash<int, QWidget *> m_pageOf;
    QButtonGroup *m_type = nullptr;
    QButtonGroup *m_wizardType = nullptr;
    QLineEdit *m_description = nullptr;
    QLineEdit *m_image = nullptr;
    QPlainTextEdit *m_cassetteTitle = nullptr;
    QPlainTextEdit *m_flap = nullptr;
    QPlainTextEdit *m_frontCover = nullptr;
    QPlainTextEdit *m_backCover = nullptr;
    QPlainTextEdit *m_sideA = nullptr;
    QPlainTextEdit *m_sideB = nullptr;
    QButtonGroup *m_spineJustification = nullptr;
    QButtonGroup *m_frontJustification = nullptr;
    QButtonGroup *m_backJustification = nullptr;
    QButtonGroup *m_imageSize = nullptr;
    QLineEdit *m_imageWidth = nullptr;
    QLineEdit *m_imageHeight = nullptr;
    QWidget *m_sizeEntries = nullptr;
    QMultiHash<int, QLabel *> m_fontLabels; // font field -> its descriptions
    QSet<int> m_fontsChosen;
    QPushButton *m_back = nullptr;
    QPushButton *m_next = nullptr;
    QPushButton *m_finish = nullptr;
    int m_wizardPage = WizardPage;
    bool m_copy = false;
    bool m_busy = false; // a picker is open
};

} // namespace sv
