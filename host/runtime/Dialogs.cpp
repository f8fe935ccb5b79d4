#include "Dialogs.h"

#include "Exceptions.h"

#include <QApplication>
#include <QDialog>
#include <QFileDialog>

namespace rt {

namespace {

struct State
{
    Dialogs::Responder responder;
    QList<DialogRequest> history;
    QString title = QStringLiteral("Aviso");
};

State &state()
{
    static State s;
    return s;
}

QWidget *parentOr(QWidget *parent)
{
    if (parent)
        return parent->window();
    return QApplication::activeWindow();
}

int answer(DialogRequest &request, const std::function<int()> &show)
{
    State &s = state();
    if (s.responder) {
        const int result = s.responder(request);
        request.dialog = nullptr;
        s.history.append(request);
        return result;
    }
    return show();
}

} // namespace

void Dialogs::setResponder(Responder responder)
{
    state().responder = std::move(responder);
    state().history.clear();
}

bool Dialogs::hasResponder() { return bool(state().responder); }
const QList<DialogRequest> &Dialogs::history() { return state().history; }
void Dialogs::clearHistory() { state().history.clear(); }
QString Dialogs::applicationTitle() { return state().title; }
void Dialogs::setApplicationTitle(const QString &title) { state().title = title; }

void Dialogs::showError(const QString &text, QWidget *parent)
{
    DialogRequest r{DialogKind::Error, applicationTitle(), text, QMessageBox::Ok, nullptr, QString()};
    answer(r, [&] { return QMessageBox::critical(parentOr(parent), r.title, text); });
}

void Dialogs::showInformation(const QString &text, QWidget *parent)
{
    DialogRequest r{DialogKind::Information, applicationTitle(), text, QMessageBox::Ok, nullptr, QString()};
    answer(r, [&] { return QMessageBox::information(parentOr(parent), r.title, text); });
}

int Dialogs::confirm(const QString &text, QMessageBox::StandardButtons buttons, QWidget *parent)
{
    DialogRequest r{DialogKind::Confirmation, applicationTitle(), text, buttons, nullptr, QString()};
    return answer(r, [&] {
        QMessageBox box(QMessageBox::Question, r.title, text, buttons, parentOr(parent));
        return box.exec();
    });
}

QString Dialogs::saveFileName(const QString &title, const QString &suggested, const QString &filter, QWidget *parent)
{
    DialogRequest r{DialogKind::SaveFile, title, filter, QMessageBox::Save | QMessageBox::Cancel, nullptr, suggested};
    QString chosen;
    const int result = answer(r, [&] {
        chosen = QFileDialog::getSaveFileName(parentOr(parent), title, suggested, filter);
        return chosen.isEmpty() ? int(QDialog::Rejected) : int(QDialog::Accepted);
    });
    if (state().responder)
        chosen = result == QDialog::Accepted ? state().history.constLast().fileName : QString();
    return chosen;
}

int Dialogs::execModal(QDialog *dialog, const QString &title)
{
    DialogRequest r{DialogKind::Modal, title, QString(), QMessageBox::NoButton, dialog, QString()};
    return answer(r, [&] { return dialog->exec(); });
}

void reportCurrentException(QWidget *parent)
{
    try {
        throw;
    } catch (const EAbort &) {
        // silent
    } catch (const Exception &e) {
        Dialogs::showError(e.message(), parent);
    } catch (const std::exception &e) {
        Dialogs::showError(QString::fromLocal8Bit(e.what()), parent);
    } catch (...) {
        Dialogs::showError(QStringLiteral("Erro desconhecido."), parent);
    }
}

bool guard(const std::function<void()> &code, QWidget *parent)
{
    try {
        code();
        return true;
    } catch (...) {
        reportCurrentException(parent);
        return false;
    }
}

} // namespace rt
