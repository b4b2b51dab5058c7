#include "windowfixture.h"

#include <QMenu>
#include <QPushButton>

namespace corvane::test {

WindowFixture::WindowFixture()
    : m_form(std::make_unique<Form1>(m_unit.unit())) {}

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
