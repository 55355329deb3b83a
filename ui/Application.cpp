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

namespace {

// The application's error display at the event level: an error that
// escapes a handler is shown in a box and the event loop goes on.
class UtilityApplication : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject *receiver, QEvent *event) override
    {
        try {
            return QApplication::notify(receiver, event);
        } catch (const std::exception &e) {
            ShowApplicationError(QString::fromLocal8Bit(e.what()));
        } catch (...) {
            ShowApplicationError(QString());
        }
        return false;
    }
};

} // namespace

void InitUiResources()
{
    Q_INIT_RESOURCE(resources);
}

int RunApplication(int argc, char *argv[])
{
    UtilityApplication app(argc, argv);
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
