#pragma once
// Publishes a device as COM n in the port directory and takes it back. A
// link that led nowhere (a mask) is put back on withdrawal, so a masked
// number never falls through to this machine's own serial devices.
#include <QString>

class PortPublisher {
public:
    PortPublisher() = default;
    ~PortPublisher() { withdraw(); }
    PortPublisher(const PortPublisher &) = delete;
    PortPublisher &operator=(const PortPublisher &) = delete;

    // Refuses a number that is already published to a device that exists.
    bool publish(int portNumber, const QString &target, QString *error);
    // Points the published link at a new target (a port that came back).
    bool republish(const QString &target, QString *error);
    // Points the published link nowhere while its port is gone: the path of
    // a closed pseudo-terminal is soon another program's terminal.
    bool mask(QString *error);
    // Removes the link if it is still ours, restoring a mask it replaced.
    void withdraw();

    QString linkPath() const { return link_; }
    bool published() const { return !link_.isEmpty(); }

    static QString readLink(const QString &path);   // empty if not a link

private:
    static bool placeLink(const QString &target, const QString &link, QString *error);

    QString link_;
    QString target_;
    QString mask_;   // the dangling target the link replaced, if any
};
