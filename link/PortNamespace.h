#pragma once
// Where "COM n" lives on this system. A link COM<n> in the port directory
// wins over the built-in table; a link that leads nowhere hides the number.
#include <QString>

namespace PortNamespace {

// $XDG_RUNTIME_DIR/quvo-ports, or /tmp/quvo-ports-<uid> without it.
QString portDirectory();

// Device path for COM n (1..255), canonical (symlinks resolved), or an empty
// string when the number has no device.
QString devicePath(int portNumber);

// The built-in table alone: COM1-32 ttyS0-31, COM33-64 ttyUSB0-31,
// COM65-96 ttyACM0-31, nothing above.
QString builtInDevice(int portNumber);

} // namespace PortNamespace
