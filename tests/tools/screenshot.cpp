// Saves the whole X screen, or one window of it, as a PNG:
//   quvo-screenshot [--settled | --unlike EARLIER.png] FILE.png [WINDOW-ID]
// (used by the tests that drive the real program under Xvfb, and for the
// README's pictures). --settled waits, at most 10 s, until the picture is
// painted and holds still: two grabs alike and not one plain colour.
// --unlike waits as well until it differs from an earlier picture: a click
// has taken effect. Without either it saves what is there at once.
#include <QDeadlineTimer>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QThread>
#include <cstdio>

namespace {

bool plain(const QImage &img)
{
    if (img.isNull())
        return true;
    const QRgb first = img.pixel(0, 0);
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (img.pixel(x, y) != first)
                return false;
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments().mid(1);
    bool settled = false;
    QImage unlike;
    if (!args.isEmpty() && args.first() == QLatin1String("--settled")) {
        args.removeFirst();
        settled = true;
    } else if (args.size() > 1 && args.first() == QLatin1String("--unlike")) {
        args.removeFirst();
        settled = unlike.load(args.takeFirst());
        if (!settled)
            return 2;
    }
    if (args.isEmpty())
        return 2;
    QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen)
        return 1;
    const WId window = args.size() > 1 ? WId(args.at(1).toULongLong()) : 0;
    const auto grab = [&] { return screen->grabWindow(window).toImage().convertToFormat(QImage::Format_RGB32); };
    QImage shot = grab();
    if (settled) {
        unlike = unlike.convertToFormat(QImage::Format_RGB32);
        const QDeadlineTimer deadline(10000);
        for (;;) {
            QThread::msleep(100);   // the interval of the poll
            const QImage next = grab();
            const bool ready = next == shot && !plain(next) && next != unlike;
            shot = next;
            if (ready)
                break;
            if (deadline.hasExpired()) {
                std::fprintf(stderr, "quvo-screenshot: the picture did not settle%s within 10 s\n",
                             unlike.isNull() ? "" : " into a new one");
                shot.save(args.first(), "PNG");
                return 1;
            }
        }
    }
    return shot.save(args.first(), "PNG") ? 0 : 1;
}
