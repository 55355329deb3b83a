// Saves the whole X screen, or one window of it, as a PNG:
// quvo-screenshot FILE.png [WINDOW-ID]
// (used by the tests that drive the real program under Xvfb, and for the
// README's pictures).
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    if (argc < 2)
        return 2;
    QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen)
        return 1;
    const WId window = argc > 2 ? WId(QByteArray(argv[2]).toULongLong()) : 0;
    const QPixmap shot = screen->grabWindow(window);
    return shot.save(QString::fromLocal8Bit(argv[1]), "PNG") ? 0 : 1;
}
