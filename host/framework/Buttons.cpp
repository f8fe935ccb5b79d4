#include "Buttons.h"

#include "ClientDataSet.h"
#include "Dialogs.h"
#include "Pesquisa.h"

#include <QCoreApplication>
#include <QHash>
#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>

namespace {

// Small glyphs drawn in code, so the framework ships no picture files.
QIcon drawGlyph(const QString &name)
{
    auto draw = [&](bool enabled) {
        QPixmap pm(20, 20);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        const QColor ink = enabled ? QColor(30, 60, 120) : QColor(160, 160, 160);
        const QColor ok = enabled ? QColor(20, 130, 40) : QColor(160, 160, 160);
        const QColor bad = enabled ? QColor(190, 30, 30) : QColor(160, 160, 160);
        p.setPen(QPen(ink, 2));
        if (name == "search") {
            p.drawEllipse(QRectF(3, 3, 10, 10));
            p.setPen(QPen(ink, 3, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(QPointF(12, 12), QPointF(17, 17));
        } else if (name == "confirm") {
            p.setPen(QPen(ok, 3, Qt::SolidLine, Qt::RoundCap));
            p.drawPolyline(QPolygonF({QPointF(4, 10), QPointF(8, 15), QPointF(16, 5)}));
        } else if (name == "cancel") {
            p.setPen(QPen(bad, 3, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(QPointF(5, 5), QPointF(15, 15));
            p.drawLine(QPointF(15, 5), QPointF(5, 15));
        } else if (name == "insert") {
            p.setPen(QPen(ok, 3, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(QPointF(10, 4), QPointF(10, 16));
            p.drawLine(QPointF(4, 10), QPointF(16, 10));
        } else if (name == "edit") {
            p.setPen(QPen(ink, 2.5, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(QPointF(5, 15), QPointF(15, 5));
            p.drawLine(QPointF(4, 16), QPointF(7, 16));
        } else if (name == "delete") {
            p.setPen(QPen(bad, 3, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(QPointF(4, 10), QPointF(16, 10));
        } else if (name == "refresh") {
            p.drawArc(QRectF(4, 4, 12, 12), 30 * 16, 280 * 16);
            p.drawLine(QPointF(15, 3), QPointF(15, 8));
            p.drawLine(QPointF(15, 8), QPointF(11, 8));
        } else if (name == "print") {
            p.drawRect(QRectF(4, 8, 12, 7));
            p.drawRect(QRectF(6, 3, 8, 5));
        }
        return pm;
    };
    QIcon icon;
    icon.addPixmap(draw(true), QIcon::Normal);
    icon.addPixmap(draw(false), QIcon::Disabled);
    return icon;
}

// Each glyph is drawn once (normal and disabled) and shared by every button
// showing it; the drawings are dropped when the application ends.
QIcon glyph(const QString &name)
{
    static QHash<QString, QIcon> drawn;
    static const bool cleared = [] {
        qAddPostRoutine([] { drawn.clear(); });
        return true;
    }();
    Q_UNUSED(cleared);
    auto it = drawn.constFind(name);
    if (it == drawn.constEnd())
        it = drawn.insert(name, drawGlyph(name));
    return *it;
}

} // namespace

TButtonFlat::TButtonFlat(const QString &caption, const QString &iconName, QWidget *parent) : QToolButton(parent)
{
    setText(caption);
    setIcon(glyph(iconName));
    setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    setAutoRaise(true);
    setFocusPolicy(Qt::NoFocus);
    setMinimumWidth(64);
}

TBtnPesquisa::TBtnPesquisa(QWidget *parent) : QToolButton(parent)
{
    setIcon(glyph(QStringLiteral("search")));
    setToolTip(QStringLiteral("Pesquisar"));
    setFocusPolicy(Qt::NoFocus);
    setAutoRaise(false);
    connect(this, &QToolButton::clicked, this, [this] { rt::guard([this] { Execute(); }, this); });
}

void TBtnPesquisa::setAssociate(QWidget *edit)
{
    if (m_associate)
        m_associate->removeEventFilter(this);
    m_associate = edit;
    if (m_associate)
        m_associate->installEventFilter(this);
}

bool TBtnPesquisa::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_associate && event->type() == QEvent::KeyPress && static_cast<QKeyEvent *>(event)->key() == Qt::Key_F4) {
        if (isEnabled())
            click();
        return true;
    }
    return QToolButton::eventFilter(watched, event);
}

void TBtnPesquisa::Execute()
{
    bool cancel = false;
    if (OnBeforePesq)
        OnBeforePesq(this, cancel);
    if (cancel || !DataSource)
        return;
    if (Pesquisa::Pesquisar(DataSource, Title + QLatin1Char('|') + EmptyError, false, true) && OnAfterPesq)
        OnAfterPesq(this);
}
