// Without libFuzzer (the usual build), a fuzz target replays the files it is
// given, or every file in the directories it is given, once each: its
// corpus, with every finding kept there, as a regression test.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cstdint>
#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

namespace {
bool replay(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s\n", qPrintable(path));
        return false;
    }
    const QByteArray bytes = f.readAll();
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t *>(bytes.constData()), size_t(bytes.size()));
    return true;
}
} // namespace

int main(int argc, char *argv[])
{
    int inputs = 0;
    for (int i = 1; i < argc; ++i) {
        const QString arg = QFile::decodeName(argv[i]);
        if (QFileInfo(arg).isDir()) {
            const QDir dir(arg);
            for (const QString &name : dir.entryList(QDir::Files, QDir::Name)) {
                if (!replay(dir.filePath(name)))
                    return 1;
                ++inputs;
            }
        } else {
            if (!replay(arg))
                return 1;
            ++inputs;
        }
    }
    std::printf("%d inputs replayed, every invariant held\n", inputs);
    return inputs > 0 ? 0 : 1;
}
