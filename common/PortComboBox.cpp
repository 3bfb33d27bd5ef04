#include "common/PortComboBox.h"

namespace hub {

PortComboBox::PortComboBox(QWidget* parent) : QComboBox(parent) {
    lister_ = [] {
        QList<PortInfo> ports;
        TComPort::EnumPortInfos(ports);
        return ports;
    };
    // An editable box changes its text without changing the current entry, so
    // the tool tip follows the text.
    connect(this, &QComboBox::currentTextChanged, this, &PortComboBox::followCurrent);
    connect(this, &QComboBox::currentIndexChanged, this, &PortComboBox::followCurrent);
}

int PortComboBox::entryOf(const QString& text) const {
    if (text.isEmpty()) return -1;
    const int exact = findText(text, Qt::MatchFixedString | Qt::MatchCaseSensitive);
    // Port names compare without case elsewhere in the programs too.
    return exact >= 0 ? exact : findText(text, Qt::MatchFixedString);
}

void PortComboBox::relist() {
    const QString shown = currentText();
    const bool wasEntry = entryOf(shown) >= 0;
    QList<PortInfo> ports;
    if (lister_) ports = lister_();
    if (ports.isEmpty() && !noPort_.isEmpty()) ports.append(PortInfo{noPort_, QString()});

    clear();
    for (const PortInfo& p : ports) {
        addItem(p.name);
        if (!p.description.isEmpty()) setItemData(count() - 1, p.description, Qt::ToolTipRole);
    }
    const int at = entryOf(shown);
    if (at >= 0) {
        setCurrentIndex(at);
    } else if (isEditable()) {
        setCurrentIndex(-1);
        setEditText(wasEntry ? QString() : shown);
    } else {
        setCurrentIndex(count() > 0 ? 0 : -1);
    }
    followCurrent();
}

QStringList PortComboBox::entries() const {
    QStringList names;
    for (int i = 0; i < count(); ++i) names << itemText(i);
    return names;
}

QString PortComboBox::currentDescription() const {
    const int at = entryOf(currentText());
    return at >= 0 ? itemData(at, Qt::ToolTipRole).toString() : QString();
}

void PortComboBox::showPopup() {
    relist();
    QComboBox::showPopup();
}

void PortComboBox::followCurrent() { setToolTip(currentDescription()); }

} // namespace hub
