#pragma once
// Where "COM n" lives on this system. A link COM<n> in the port directory
// wins over the built-in table; a link that leads nowhere hides the number.
// The directory counts only when it is the user's own: anyone who could add a
// link there could hand the utility a controller of their own.
#include <QString>

namespace PortNamespace {

// $XDG_RUNTIME_DIR/quvo-ports, or /tmp/quvo-ports-<uid> without it.
QString portDirectory();

struct DirectoryCheck {
    enum Verdict { Usable, Absent, NotADirectory, OtherOwner, OpenToOthers };
    Verdict verdict = Absent;
    QString path;
    unsigned owner = 0;   // OtherOwner: whose it is
    unsigned mode = 0;    // permission bits as found
};

// The port directory and whether its links count. A symbolic link in its
// place is not a directory: whoever owns the link could point it elsewhere.
DirectoryCheck checkPortDirectory();

// Why the directory does not count, in one line for standard error
// ("the port directory …: belongs to user 1001, not to you"); empty when it
// is used or absent.
QString directoryProblem(const DirectoryCheck &check);

// The user the directory must belong to: this process's real user, unless a
// test that cannot change owners names another (negative restores).
void setExpectedOwnerForTesting(long uid);

// Device path for COM n (1..255), canonical (symlinks resolved), or an empty
// string when the number has no device.
QString devicePath(int portNumber);

// The built-in table alone: COM1-32 ttyS0-31, COM33-64 ttyUSB0-31,
// COM65-96 ttyACM0-31, nothing above.
QString builtInDevice(int portNumber);

// Where the built-in table's devices live, /dev unless a test points it at
// a directory of its own, so that a number falling back to the table can be
// followed without ever touching this machine's serial devices.
void setDeviceRoot(const QString &root);

} // namespace PortNamespace
