#include "windowfixture.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>

namespace corvane::test {

namespace {

const QColor kRed(255, 0, 0);

// The property a word names: "Name!" the control's enabled flag, else the one each kind shows.
const char *propertyOf(const QObject *o, const QString &name) {
    if (name.endsWith(QLatin1Char('!')) || qobject_cast<const QPushButton *>(o))
        return "enabled";
    if (qobject_cast<const QRadioButton *>(o))
        return "checked";
    return qobject_cast<const QComboBox *>(o) ? "currentText" : "text";
}

} // namespace

void setWidgets(Form1 &form, const QString &words) {
    for (const QString &word : words.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QString name = word.section(QLatin1Char('='), 0, 0);
        QObject *o = form.findChild<QObject *>(name);
        if (!o || !o->setProperty(propertyOf(o, name), word.section(QLatin1Char('='), 1)))
            qFatal("cannot set %s", qPrintable(word));
    }
}

QString widgets(const Form1 &form, const QString &words) {
    QStringList shown;
    for (const QString &word : words.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QString name = word.section(QLatin1Char('='), 0, 0);
        const QObject *o = form.findChild<QObject *>(name.chopped(name.endsWith('!')));
        QVariant v = o ? o->property(propertyOf(o, name)) : QVariant(QStringLiteral("<none>"));
        if (name == QLatin1String("red"))
            v = Form1::textColor(form.LbDevSetCode) == kRed;
        shown << name + '=' +
                     (v.typeId() == QMetaType::Bool ? QString::number(v.toInt()) : v.toString());
    }
    return shown.join(QLatin1Char(';'));
}

WindowFixture::WindowFixture()
    : m_form(std::make_unique<Form1>(m_unit.unit())) {}

QStringList WindowFixture::log() const {
    QStringList lines;
    for (int i = 0; i < m_form->List1->count(); ++i)
        lines.append(m_form->List1->item(i)->text());
    return lines;
}

QString WindowFixture::enabledInSight(bool all) const {
    QWidget *client = m_form->client;
    QStringList names;
    for (QPushButton *b : client->findChildren<QPushButton *>()) {
        if ((all || b->isEnabled()) &&
            client->rect().contains(QRect(b->mapTo(client, QPoint()), b->size())))
            names << b->objectName();
    }
    for (QMenu *menu : {m_form->MenuFile, m_form->MenuOption}) {
        if (all || menu->isEnabled())
            names << menu->objectName();
    }
    names.sort();
    return names.join(QLatin1Char(' '));
}

} // namespace corvane::test
