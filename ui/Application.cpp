#include "ui/Application.h"

#include "ui/AccessibleComboBox.h"
#include "ui/Fonts.h"
#include "ui/MessageBoxes.h"
#include "ui/TDataSetDialog.h"
#include "ui/TMainForm.h"
#include "ui/TSubForm.h"

#include "QuvoVersion.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QIcon>
#include <QLibraryInfo>
#include <QTranslator>
#include <cstdio>
#include <cstring>
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
            showApplicationError(QString::fromLocal8Bit(e.what()));
        } catch (...) {
            showApplicationError(QString());
        }
        return false;
    }
};

// Asked only for text: answered without a display, so `--version` works on
// a machine with no window system.
bool asksForTextOnly(int argc, char *argv[])
{
    static const char *const textOptions[] = {"-h", "-?", "--help", "--help-all", "-v", "--version"};
    for (int i = 1; i < argc; ++i)
        for (const char *option : textOptions)
            if (std::strcmp(argv[i], option) == 0)
                return true;
    return false;
}

// --help and --version print and end the program; without arguments it
// opens the window. False for an argument the program does not take.
bool processCommandLine(const QCoreApplication &app)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Maintenance utility for the QUVO coin-handling controller: click 接続 to search the "
        "serial ports COM255 down to COM1 for the controller."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.process(app);
    if (!parser.positionalArguments().isEmpty()) {
        std::fprintf(stderr, "quvo-utility: unexpected argument \"%s\"; see --help\n",
                     qPrintable(parser.positionalArguments().constFirst()));
        return false;
    }
    return true;
}

QIcon applicationIcon()
{
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/quvo-utility-%1.png").arg(size), QSize(size, size));
    return icon;
}

} // namespace

void initUiResources()
{
    Q_INIT_RESOURCE(resources);
    AccessibleComboBox::install();
}

int runApplication(int argc, char *argv[])
{
    QCoreApplication::setApplicationName(QStringLiteral("quvo-utility"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QUVO_VERSION));
    if (asksForTextOnly(argc, argv)) {
        QCoreApplication textOnly(argc, argv);
        return processCommandLine(textOnly) ? 0 : 1;
    }
    UtilityApplication app(argc, argv);
    if (!processCommandLine(app))
        return 1;
    initUiResources();
    // The desktop entry's name lets a desktop match the window to its entry and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral(QUVO_APP_ID));
    QApplication::setWindowIcon(applicationIcon());
    installFontSubstitutions();
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
        showApplicationError(QString::fromLocal8Bit(e.what()));
        return 1;
    }
    mainForm->setDataSetDialog(dataSetDialog.get());
    mainForm->show();
    return app.exec();
}
