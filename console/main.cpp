#include "consolelog.h"
#include "dailybackup.h"
#include "database.h"
#include "datafilestartup.h"
#include "filemodes.h"
#include "k310_halvern.h"
#include "k310settings.h"
#include "touchstyle.h"

#include <QApplication>
#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QLocale>
#include <QSettings>
#include <QTranslator>

#ifdef K310_WARM_FONTCONFIG
#include <fontconfig/fontconfig.h>
#include <thread>
#endif

int main(int argc, char *argv[])
{
#ifdef K310_WARM_FONTCONFIG
    // Reading the font configuration is the largest single cost of the window's first text;
    // the second core does it while Qt starts up. FcInit is safe to race with Qt's own call.
    std::thread fontconfig([] { FcInit(); });
#endif
    QApplication application(argc, argv);

    // Standard dialogs and message-box buttons speak Russian like the rest of the console.
    QTranslator qtTranslations;
    if (qtTranslations.load(QLocale(QLocale::Russian), QStringLiteral("qtbase"),
                            QStringLiteral("_"),
                            QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        application.installTranslator(&qtTranslations);

    // Font and style come before the window, so its widgets are polished once, not three times.
    QFont font = QApplication::font();
    font.setPointSize(8);
    QApplication::setFont(font);
    TouchStyle::install();
#ifdef Q_OS_UNIX
    // The settings hold the broker's password: the file is made for its owner alone. (Windows
    // keeps them in the user's registry.)
    const QString settingsFile = k310Settings::makeStore()->fileName();
    QDir().mkpath(QFileInfo(settingsFile).absolutePath());
    FileModes::createPrivate(settingsFile);
#endif
    const QString records = QString::fromLatin1(DatabaseFileName);
    // Before the window opens data.db: a damaged file is found and kept aside here.
    DataFileStartup(records).run();
    int result = 0;
    {
        K310_Halvern window;
        window.show();
        // The window is on the screen before the first requests hold the thread up.
        QGuiApplication::sync();
        window.restoreLastSession();
        DailyBackup backup(records);
        QObject::connect(&backup, &DailyBackup::copyFailed, &backup, [](const QString &message) {
            qCWarning(lcConsole).noquote() << "data.db backup failed:" << message;
        });
        QObject::connect(&window, &K310_Halvern::butchClosed, &backup,
                         &DailyBackup::copyAfterButch);
        backup.start();
        result = application.exec();
    }
    // Every connection is closed: what the log holds goes into data.db itself.
    DataFileStartup::closeRecords(records);
#ifdef K310_WARM_FONTCONFIG
    fontconfig.join();
#endif
    return result;
}
