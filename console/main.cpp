#include "k310_halvern.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QStyleFactory>
#include <QTranslator>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);

    // Standard dialogs and message-box buttons speak Russian like the rest of the console.
    QTranslator qtTranslations;
    if (qtTranslations.load(QLocale(QLocale::Russian), QStringLiteral("qtbase"),
                            QStringLiteral("_"),
                            QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        application.installTranslator(&qtTranslations);

    K310_Halvern window;
    QFont font = QApplication::font();
    font.setPointSize(8);
    QApplication::setFont(font);
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    window.show();
    window.restoreLastSession();
    return application.exec();
}
