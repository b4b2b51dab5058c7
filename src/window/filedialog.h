#pragma once
// The window's file dialog: the operator's answer to a controller's file question, shown without a
// nested event loop.

#include "controller/files/commondialog.h"

#include <QObject>

class QWidget;

namespace corvane {

class FileDialogQuestions : public QObject, public OperatorQuestions {
public:
    // The dialog opens over `window`, which owns this object.
    explicit FileDialogQuestions(QWidget *window);
    QCoro::Task<std::optional<QString>> chooseFile(bool save, const CommonDialog &dialog) override;

private:
    QWidget *m_window;
};

} // namespace corvane
