#include "ports/portlist.h"

#include <QSerialPortInfo>

#include <algorithm>

namespace corvane {

namespace {

// Text order with runs of digits compared by their value: ttyUSB2 before ttyUSB10.
bool naturallyBefore(const QString &a, const QString &b) {
    qsizetype i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (a[i].isDigit() && b[j].isDigit()) {
            const qsizetype startA = i, startB = j;
            while (i < a.size() && a[i].isDigit())
                ++i;
            while (j < b.size() && b[j].isDigit())
                ++j;
            const qulonglong x = a.sliced(startA, i - startA).toULongLong();
            const qulonglong y = b.sliced(startB, j - startB).toULongLong();
            if (x != y)
                return x < y;
            continue;
        }
        if (a[i] != b[j])
            return a[i] < b[j];
        ++i, ++j;
    }
    return a.size() - i < b.size() - j;
}

} // namespace

QList<PortChoice> portChoices(QList<SystemPort> ports, bool windows) {
    QList<PortChoice> choices;
    for (const char *fixed : {"1", "2", "3", "4", "5", "6", "EMU"})
        choices.append({QString::fromLatin1(fixed), {}});
    const auto textOf = [windows](const SystemPort &port) {
        return windows || port.location.isEmpty() ? port.name : port.location;
    };
    std::stable_sort(ports.begin(), ports.end(), [&](const SystemPort &a, const SystemPort &b) {
        return naturallyBefore(textOf(a), textOf(b));
    });
    for (const SystemPort &port : ports) {
        const QString text = textOf(port);
        const bool known = std::any_of(choices.cbegin(), choices.cend(), [&](const PortChoice &c) {
            return c.text.compare(text, Qt::CaseInsensitive) == 0;
        });
        if (text.isEmpty() || known)
            continue;
        QStringList about;
        for (const QString &part : {port.description, port.manufacturer})
            if (!part.trimmed().isEmpty())
                about.append(part.trimmed());
        choices.append({text, about.join(QStringLiteral(" — "))});
    }
    return choices;
}

QList<SystemPort> systemPorts() {
    QList<SystemPort> ports;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts())
        ports.append(
            {info.systemLocation(), info.portName(), info.description(), info.manufacturer()});
    return ports;
}

} // namespace corvane
