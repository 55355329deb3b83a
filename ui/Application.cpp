#include "ui/Application.h"

#include "ui/Fonts.h"
#include "ui/MessageBoxes.h"
#include "ui/TDataSetDialog.h"
#include "ui/TMainForm.h"
#include "ui/TSubForm.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QTranslator>
#include <exception>
#include <memory>

void InitUiResources()
{
    Q_INIT_RESOURCE(resources);
}

int RunApplication(int argc, char *argv[])
{
    QApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("quvo-utility"));
    InitUiResources();
    InstallFontSubstitutions();
    // Standard buttons and dialogs in Japanese.
    QTranslator qtTranslator;
    if (qtTranslator.load(QLocale(QLocale::Japanese), QStringLiteral("qtbase"), QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        app.installTranslator(&qtTranslator);

    std::unique_ptr<TMainForm> mainForm;
    std::unique_ptr<TSubForm> subForm;
    std::unique_ptr<TDataSetDialog> dataSetDialog;
    try {
        mainForm = std::make_unique<TMainForm>();
        subForm = std::make_unique<TSubForm>();
        dataSetDialog = std::make_unique<TDataSetDialog>();
    } catch (const std::exception &e) {
        ShowApplicationError(QString::fromLocal8Bit(e.what()));
        return 1;
    }
    mainForm->SetDataSetDialog(dataSetDialog.get());
    mainForm->show();
    return app.exec();
}
