#pragma once
// PortComboBox: the serial port list of the port dialogs. It asks for the
// ports again each time its drop-down opens (an adapter plugged in while the
// dialog is up shows at once) and gives every entry the device's description
// (with its /dev/serial/by-id name, if any) as its tool tip; the box's own
// tool tip is the one of the port it shows.
#include "serial/comms.h"

#include <QComboBox>
#include <functional>

namespace hub {

class PortComboBox : public QComboBox {
    Q_OBJECT
public:
    using Lister = std::function<QList<PortInfo>()>;

    // Lists the machine's ports (TComPort::EnumPortInfos) until told otherwise.
    explicit PortComboBox(QWidget* parent = nullptr);

    void setLister(Lister lister) { lister_ = std::move(lister); }
    // The single entry shown when there is no port at all.
    void setNoPortText(const QString& text) { noPort_ = text; }

    // Asks for the ports and refills the list. The port shown stays when it is
    // still listed; a listed port that went away leaves the field empty (or,
    // when the box cannot be edited, shows the first entry); a name the user
    // typed stays as typed.
    void relist();
    // The port names in the list, in order.
    QStringList entries() const;
    // The description of the entry matching the text shown, empty if none.
    QString currentDescription() const;

    void showPopup() override;

private:
    int entryOf(const QString& text) const;
    void followCurrent();

    Lister lister_;
    QString noPort_;
};

} // namespace hub
