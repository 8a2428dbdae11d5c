// The program's entry: registers the windows each subsystem supplies, then runs the program.
#include "albums/albumbrowser.h"
#include "albums/albumform.h"
#include "albums/albumwizard.h"
#include "app/mainframe.h"
#include "app/preferences.h"
#include "app/procedures.h"
#include "app/program.h"
#include "app/settings.h"
#include "app/setupwizard.h"
#include "app/tipsbrowser.h"
#include "app/tipwindow.h"
#include "exchange/catalogcopycommands.h"
#include "exchange/catalogcopywindow.h"
#include "exchange/catalogjsonwindow.h"
#include "exchange/exchangecommands.h"
#include "exchange/exportwindow.h"
#include "exchange/importwindow.h"
#include "labels/labelprocedures.h"
#include "maintenance/duplicateswindow.h"
#include "maintenance/filemanager.h"
#include "playlists/playlistbrowser.h"
#include "reports/reportcommands.h"
#include "reports/reportstart.h"
#include "songs/codetables.h"
#include "songs/songbrowser.h"
#include "songs/songform.h"
#include "wizards/addalbumwizard.h"
#include "wizards/addmode.h"
#include "wizards/cdplayer.h"
#include "wizards/cdplayerpreferences.h"

namespace {

void registerProcedures()
{
    using sv::Procedures;
    using sv::Session;
    Procedures::add(
        QStringLiteral("Preferences"), Procedures::Placement::Direct,
        [](Session &session, sv::MainFrame &frame) -> QWidget * {
            return sv::Preferences::open(
                session, &frame,
                [&session](QWidget *caller) { sv::FileManager::open(session, caller); },
                [&session](QWidget *caller) { sv::DuplicatesWindow::open(session, caller); });
        });
    Procedures::add(QStringLiteral("Tips"), Procedures::Placement::Direct,
                    [](Session &session, sv::MainFrame &frame) -> QWidget * {
                        return sv::TipWindow::showTipOfTheDay(session, &frame, {});
                    });
    Procedures::add(QStringLiteral("SetupWizard"), Procedures::Placement::Direct,
                    [](Session &session, sv::MainFrame &frame) -> QWidget * {
                        return sv::SetupWizard::open(session, &frame, {});
                    });
    Procedures::addBrowser(QStringLiteral("BrowseCategories"), [](Session &session) {
        return new sv::CategoryBrowser(session, sv::Request::None);
    });
    // The frame's song and album entries open the explore views under the Explorer
    // interface, which the Preferences set.
    const auto chosenStyle = [] {
        return sv::Settings::global().interface.trimmed().compare(u"Explorer",
                                                                  Qt::CaseInsensitive) == 0
                   ? sv::BrowserStyle::Explore
                   : sv::BrowserStyle::Tabs;
    };
    Procedures::addBrowser(QStringLiteral("BrowseAlbums"), [chosenStyle](Session &session) {
        return new sv::AlbumBrowser(session, sv::Request::None, nullptr, chosenStyle());
    });
    Procedures::addBrowser(QStringLiteral("BrowseSongs"), [chosenStyle](Session &session) {
        return new sv::SongBrowser(session, sv::Request::None, nullptr, chosenStyle());
    });
    Procedures::addBrowser(QStringLiteral("XploreAlbums"), [](Session &session) {
        return new sv::AlbumBrowser(session, sv::Request::None, nullptr, sv::BrowserStyle::Explore);
    });
    Procedures::addBrowser(QStringLiteral("XploreSongs"), [](Session &session) {
        return new sv::SongBrowser(session, sv::Request::None, nullptr, sv::BrowserStyle::Explore);
    });
    Procedures::addBrowser(QStringLiteral("BrowseMedia"), [](Session &session) {
        return new sv::MediaBrowser(session, sv::Request::None);
    });
    Procedures::add(QStringLiteral("Import"), Procedures::Placement::OwnWindow,
                    [](Session &session, sv::MainFrame &frame) -> QWidget * {
                        return sv::exchange::ImportWindow::choose(session, &frame);
                    });
    Procedures::add(QStringLiteral("Export"), Procedures::Placement::OwnWindow,
                    [](Session &session, sv::MainFrame &) -> QWidget * {
                        return new sv::exchange::ExportWindow(session);
                    });
    Procedures::addBrowser(QStringLiteral("BrowsePlayLists"),
                           [](Session &session) { return new sv::PlaylistBrowser(session); });
    Procedures::add(QStringLiteral("ImportCatalogue"), Procedures::Placement::Direct,
                    [](Session &session, sv::MainFrame &frame) -> QWidget * {
                        return sv::exchange::importWholeCatalogue(session, &frame);
                    });
    Procedures::add(QStringLiteral("ExportCatalogue"), Procedures::Placement::Direct,
                    [](Session &session, sv::MainFrame &frame) -> QWidget * {
                        return sv::exchange::exportWholeCatalogue(session, &frame);
                    });
    for (const auto direction :
         {sv::CatalogueCopy::Direction::ToServer, sv::CatalogueCopy::Direction::FromServer}) {
        Procedures::add(direction == sv::CatalogueCopy::Direction::ToServer
                            ? QStringLiteral("CopyCatalogueToServer")
                            : QStringLiteral("CopyCatalogueFromServer"),
                        Procedures::Placement::Direct,
                        [direction](Session &session, sv::MainFrame &frame) -> QWidget * {
                            return sv::exchange::CatalogueCopyWindow::open(session, direction,
                                                                           &frame);
                        });
    }
    Procedures::add(QStringLiteral("AlbumWizard"), Procedures::Placement::OwnWindow,
                    [](Session &session, sv::MainFrame &) -> QWidget * {
                        return new sv::AlbumWizard(session);
                    });
    // For the CD player's "Set" button.
    Procedures::add(QStringLiteral("CDSetup"), Procedures::Placement::Direct,
                    [](Session &, sv::MainFrame &frame) -> QWidget * {
                        return sv::CdPlayerPreferences::open(&frame);
                    });
    Procedures::add(
        QStringLiteral("CDPlayer"), Procedures::Placement::OwnWindow,
        [](Session &session, sv::MainFrame &) -> QWidget * { return sv::CdPlayer::open(session); });
    sv::CdPlayer::setAlbumFormFactory(
        [](Session &session, sv::Request request) { return new sv::AlbumForm(session, request); });
    for (const auto kind :
         {sv::AddAlbumWizard::Kind::Compilation, sv::AddAlbumWizard::Kind::SingleArtist}) {
        Procedures::add(kind == sv::AddAlbumWizard::Kind::Compilation
                            ? QStringLiteral("AddCompilation")
                            : QStringLiteral("AddSingleArtist"),
                        Procedures::Placement::OwnWindow,
                        [kind](Session &session, sv::MainFrame &) -> QWidget * {
                            return sv::AddAlbumWizard::open(session, kind, sv::Request::Insert);
                        });
    }
    sv::reports::registerReportProcedures();
    sv::labels::registerLabelProcedures();
    sv::setAddModeDispatch(sv::dispatchAddMode);
    Procedures::add(QStringLiteral("FindDuplicates"), Procedures::Placement::OwnWindow,
                    [](Session &session, sv::MainFrame &) -> QWidget * {
                        return sv::DuplicatesWindow::create(session);
                    });
    Procedures::addBrowser(QStringLiteral("BrowseTips"),
                           [](Session &session) { return new sv::TipsBrowser(session); });
}

} // namespace

int main(int argc, char *argv[])
{
    return sv::runProgram(
        argc, argv,
        {registerProcedures,
         [](sv::Session &session) { return sv::FileManager::offerRepairAfterCrash(session); },
         sv::exchange::exchangeCommands()
             << sv::exchange::catalogueCopyCommands() << sv::reports::reportCommand()});
}
