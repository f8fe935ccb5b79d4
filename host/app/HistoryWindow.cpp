#include "HistoryWindow.h"

#include "ADOIBQuery.h"
#include "Consiste.h"
#include "DataPacket.h"
#include "Dialogs.h"
#include "Exceptions.h"

#include <QComboBox>
#include <QDateEdit>
#include <QFile>
#include <QGridLayout>
#include <QHash>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSaveFile>
#include <QShortcut>
#include <QSortFilterProxyModel>
#include <QSqlQuery>
#include <QStandardItemModel>
#include <QTableView>

namespace {

enum Column { ColWhen, ColUser, ColAddress, ColOperation, ColGuide, ColRegistration, ColField, ColBefore, ColAfter, ColCount };

const char *const kHeaders[ColCount] = {"Data/hora", "Usuário", "Endereço", "Operação", "Tipo de guia",
                                        "Inscrição estadual", "Campo", "Valor anterior", "Valor novo"};

// The local day of each row, to filter the period in the user's time.
constexpr int DayRole = Qt::UserRole + 1;

QString operationText(const QString &code)
{
    if (code == QLatin1String("I"))
        return QStringLiteral("Inclusão");
    if (code == QLatin1String("E"))
        return QStringLiteral("Exclusão");
    return QStringLiteral("Alteração");
}

// A field as the screen calls it (the stored name in the cell's tooltip).
QString fieldCaption(const QString &name, bool general)
{
    static const QHash<QString, QString> captions{
        {QStringLiteral("CDEMPRESA"), QStringLiteral("Empresa")},
        {QStringLiteral("IDGERALOGGNRE"), QStringLiteral("Gera Arquivos de Log - GNRE")},
        {QStringLiteral("CDLIVROMAG"), QStringLiteral("Livro Magnético")},
        {QStringLiteral("NRDIASCALCDTPAG"), QStringLiteral("Número de Dias Úteis")},
        {QStringLiteral("CDFILIAL"), QStringLiteral("Filial para Calendário")},
        {QStringLiteral("IDCALENDPAGGNRE"), QStringLiteral("Calendário")},
        {QStringLiteral("CDPRODUTODEB"), QStringLiteral("Produto do Débito")},
        {QStringLiteral("CDNATUQUALIF"), QStringLiteral("Qualificação da Natureza")},
        {QStringLiteral("VRALIQFECP"), QStringLiteral("Alíquota FECP")},
        {QStringLiteral("CDPRODUTOGON"), QStringLiteral("Produto")},
        {QStringLiteral("IDGERACONTAPAG"), QStringLiteral("Gera Conta a Pagar")},
        {QStringLiteral("IDENTRSAIDPAG"), QStringLiteral("Entrada/Saída do Pagamento")},
        {QStringLiteral("CDTPOPERPAG"), QStringLiteral("Tipo de Operação")},
        {QStringLiteral("CDINSCESTA"), QStringLiteral("Inscrição Estadual")},
        {QStringLiteral("SGESTADO"), QStringLiteral("Estado")},
        {QStringLiteral("NRCERTIFICDIG"), QStringLiteral("Certificado Digital")},
        {QStringLiteral("IDTPAMBIENTE"), QStringLiteral("Ambiente")},
        {QStringLiteral("IDPERIODOREFAPU"), QStringLiteral("Período de Apuração")},
        {QStringLiteral("IDTPGUIA"), QStringLiteral("Tipo de Guia")},
        {QStringLiteral("IDCALCSTMANUAL"), QStringLiteral("ST Manual")},
        {QStringLiteral("CDENCARGOST"), QStringLiteral("Encargo ST")},
        {QStringLiteral("CDFILIALPAG"), QStringLiteral("Filial para Pagamento")},
        {QStringLiteral("IDFCPSEPIMP"), QStringLiteral("Guia FECP Separado do Imposto")}};
    if (name == QLatin1String("DSEMAILRETORNO"))
        return general ? QStringLiteral("E-mail Padrão") : QStringLiteral("E-mail");
    return captions.value(name, name);
}

const QString kGeneral = QStringLiteral("Parâmetros gerais");
const QString kAllRegistrations = QStringLiteral("Todas");
const QString kAllGuides = QStringLiteral("Todos");

// A field as a spreadsheet reads it: quoted when it holds a separator, a
// quote or a line break; a text a spreadsheet would run as a formula is
// kept as text.
QString csvField(QString v)
{
    if (!v.isEmpty() && QStringLiteral("=+@\t\r").contains(v.front()))
        v.prepend(QLatin1Char('\''));
    if (v.contains(QLatin1Char(';')) || v.contains(QLatin1Char('"')) || v.contains(QLatin1Char('\n')) || v.contains(QLatin1Char('\r')))
        v = QLatin1Char('"') + v.replace(QLatin1Char('"'), QStringLiteral("\"\"")) + QLatin1Char('"');
    return v;
}

} // namespace

namespace HostLists {

QStringList empresas()
{
    TDMGeral &dm = TDMGeral::instance();
    if (!dm.isOpen())
        dm.open();
    QStringList out;
    QSqlQuery q(dm.database());
    if (q.exec(QStringLiteral("SELECT CDEMPRESA, NMEMPRESA FROM EMPRESA ORDER BY CDEMPRESA")))
        while (q.next())
            out << q.value(0).toString() + QStringLiteral(" - ") + q.value(1).toString();
    return out;
}

QStringList tiposGuia() { return {QStringLiteral("GON"), QStringLiteral("DRJ"), QStringLiteral("GRJ"), QStringLiteral("GNR")}; }

} // namespace HostLists

// Registration and text, over every column shown, as typed.
class THistoricoGNRE::Filter : public QSortFilterProxyModel
{
public:
    using QSortFilterProxyModel::QSortFilterProxyModel;
    QString registration; // empty: all
    QString text;
    QDate from, to;

    void apply() { invalidateFilter(); }

protected:
    bool filterAcceptsRow(int row, const QModelIndex &parent) const override
    {
        const QAbstractItemModel *m = sourceModel();
        const QDate day = m->index(row, ColWhen, parent).data(DayRole).toDate();
        if (day < from || day > to)
            return false;
        if (!registration.isEmpty() && m->index(row, ColRegistration, parent).data().toString() != registration)
            return false;
        if (text.isEmpty())
            return true;
        for (int c = 0; c < ColCount; ++c)
            if (m->index(row, c, parent).data().toString().contains(text, Qt::CaseInsensitive))
                return true;
        return false;
    }
};

THistoricoGNRE::THistoricoGNRE(QWidget *parent)
    : QWidget(parent), m_company(new QComboBox(this)), m_guide(new QComboBox(this)), m_from(new QDateEdit(this)),
      m_to(new QDateEdit(this)), m_registration(new QComboBox(this)), m_filter(new QLineEdit(this)),
      m_reload(new QPushButton(QStringLiteral("&Atualizar"), this)), m_export(new QPushButton(QStringLiteral("&Exportar CSV..."), this)),
      m_view(new QTableView(this)), m_total(new QLabel(this)), m_model(new QStandardItemModel(0, ColCount, this)),
      m_proxy(new Filter(this))
{
    setObjectName(QStringLiteral("frmHistoricoGNRE"));
    setWindowTitle(QStringLiteral("Histórico de alterações da GNRE"));
    setAttribute(Qt::WA_DeleteOnClose);
    m_company->setObjectName(QStringLiteral("cbxEmpresa"));
    m_company->addItems(HostLists::empresas());
    m_guide->setObjectName(QStringLiteral("cbxTipoGuia"));
    m_guide->addItem(kAllGuides);
    m_guide->addItems(HostLists::tiposGuia());
    const QDate today = QDate::currentDate();
    for (auto [edit, name, day] : {std::tuple{m_from, "dteDe", today.addDays(-30)}, {m_to, "dteAte", today}}) {
        edit->setObjectName(QString::fromLatin1(name));
        edit->setDisplayFormat(QStringLiteral("dd/MM/yyyy"));
        edit->setCalendarPopup(true);
        edit->setDate(day);
    }
    m_registration->setObjectName(QStringLiteral("cbxInscricao"));
    m_registration->addItem(kAllRegistrations);
    m_filter->setObjectName(QStringLiteral("edtFiltro"));
    m_filter->setPlaceholderText(QStringLiteral("Filtrar por qualquer texto"));
    m_filter->setClearButtonEnabled(true);
    m_reload->setObjectName(QStringLiteral("btnAtualizar"));
    m_export->setObjectName(QStringLiteral("btnExportar"));
    m_total->setObjectName(QStringLiteral("lblTotal"));
    m_view->setObjectName(QStringLiteral("grdHistorico"));
    for (int c = 0; c < ColCount; ++c)
        m_model->setHeaderData(c, Qt::Horizontal, QString::fromUtf8(kHeaders[c]));
    m_proxy->setSourceModel(m_model);
    m_proxy->from = m_from->date();
    m_proxy->to = m_to->date();
    m_view->setModel(m_proxy);
    m_view->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_view->setAlternatingRowColors(true);
    m_view->verticalHeader()->hide();
    m_view->verticalHeader()->setDefaultSectionSize(m_view->fontMetrics().height() + 6);
    m_view->horizontalHeader()->setStretchLastSection(true);

    auto *grid = new QGridLayout(this);
    auto label = [this](const QString &text, QWidget *buddy) {
        auto *l = new QLabel(text, this);
        l->setBuddy(buddy);
        return l;
    };
    grid->addWidget(label(QStringLiteral("E&mpresa"), m_company), 0, 0);
    grid->addWidget(m_company, 0, 1);
    grid->addWidget(label(QStringLiteral("&Tipo de guia"), m_guide), 0, 2);
    grid->addWidget(m_guide, 0, 3);
    grid->addWidget(label(QStringLiteral("&De"), m_from), 0, 4);
    grid->addWidget(m_from, 0, 5);
    grid->addWidget(label(QStringLiteral("A&té"), m_to), 0, 6);
    grid->addWidget(m_to, 0, 7);
    grid->addWidget(m_reload, 0, 8);
    grid->addWidget(label(QStringLiteral("&Inscrição"), m_registration), 1, 0);
    grid->addWidget(m_registration, 1, 1);
    grid->addWidget(label(QStringLiteral("&Filtro"), m_filter), 1, 2);
    grid->addWidget(m_filter, 1, 3, 1, 5);
    grid->addWidget(m_export, 1, 8);
    grid->addWidget(m_view, 2, 0, 1, 9);
    grid->addWidget(m_total, 3, 0, 1, 9);
    grid->setColumnStretch(3, 1);

    m_net.ServerName = QStringLiteral("FIS94100.rdmParamGNRE");
    m_net.BeforeConnect = [](TNetConnection &c) { Molvard::configure(c); };

    auto guarded = [this](void (THistoricoGNRE::*member)()) {
        return [this, member] { rt::guard([this, member] { (this->*member)(); }, this); };
    };
    connect(m_reload, &QPushButton::clicked, this, guarded(&THistoricoGNRE::Carrega));
    connect(new QShortcut(QKeySequence(Qt::Key_F5), this), &QShortcut::activated, this, guarded(&THistoricoGNRE::Carrega));
    connect(m_export, &QPushButton::clicked, this, guarded(&THistoricoGNRE::Exporta));
    connect(m_company, &QComboBox::currentIndexChanged, this, guarded(&THistoricoGNRE::Carrega));
    connect(m_guide, &QComboBox::currentIndexChanged, this, guarded(&THistoricoGNRE::Carrega));
    // A period that needs days not loaded asks the service; within them it only filters.
    connect(m_from, &QDateEdit::dateChanged, this, guarded(&THistoricoGNRE::periodChanged));
    connect(m_to, &QDateEdit::dateChanged, this, guarded(&THistoricoGNRE::periodChanged));
    connect(m_registration, &QComboBox::currentIndexChanged, this, [this] { refilter(); });
    connect(m_filter, &QLineEdit::textChanged, this, [this] { refilter(); });
    resize(980, 520);
}

THistoricoGNRE::~THistoricoGNRE() = default;

QString THistoricoGNRE::empresa() const { return m_company->currentText().section(QLatin1Char(' '), 0, 0); }

int THistoricoGNRE::linhasVisiveis() const { return m_proxy->rowCount(); }

void THistoricoGNRE::Carrega()
{
    if (m_from->date() > m_to->date())
        throw rt::Exception(QStringLiteral("A data inicial é posterior à data final."));
    if (!m_net.Connected())
        m_net.setConnected(true);
    // The service keeps times in UTC and filters by its days: one day more on
    // each side, and the period is then applied to the local times here.
    const QString guide = m_guide->currentText() == kAllGuides ? QString() : m_guide->currentText();
    const ServerReply reply = m_net.call(QStringLiteral("GetHistorico"),
                                         {empresa(), guide, m_from->date().addDays(-1).toString(QStringLiteral("dd/MM/yyyy")),
                                          m_to->date().addDays(1).toString(QStringLiteral("dd/MM/yyyy"))});
    fillModel(Consiste::CheckResultServ(reply, true, 0));
    m_loadedFrom = m_from->date();
    m_loadedTo = m_to->date();
}

void THistoricoGNRE::periodChanged()
{
    if (m_from->date() > m_to->date())
        return; // being typed: nothing to ask yet
    if (m_loadedFrom.isValid() && m_from->date() >= m_loadedFrom && m_to->date() <= m_loadedTo)
        return refilter();
    Carrega();
}

void THistoricoGNRE::fillModel(const QJsonValue &packet)
{
    const rt::DataPacket p = rt::DataPacket::fromJson(packet);
    auto text = [&](const rt::Row &r, const char *field) { return r.value(p.indexOf(QString::fromLatin1(field))).toString(); };
    const QString keep = m_registration->currentText();
    QStringList registrations;
    m_model->removeRows(0, m_model->rowCount());
    for (const rt::Row &r : p.rows) {
        QDateTime when = QDateTime::fromString(text(r, "DTALTERACAO"), QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
        when.setTimeSpec(Qt::UTC);
        const QDateTime local = when.toLocalTime();
        const QString registration = text(r, "CDINSCESTA").isEmpty() ? kGeneral : text(r, "CDINSCESTA");
        if (!registrations.contains(registration))
            registrations << registration;
        const QString field = text(r, "NMCAMPO");
        QList<QStandardItem *> items;
        for (const QString &v : {local.toString(QStringLiteral("dd/MM/yyyy HH:mm:ss")), text(r, "NMUSUARIO"), text(r, "DSENDERECO"),
                                 operationText(text(r, "IDOPERACAO")), text(r, "IDTPGUIA"), registration,
                                 fieldCaption(field, registration == kGeneral), text(r, "DSVALORANTERIOR"), text(r, "DSVALORNOVO")})
            items << new QStandardItem(v);
        items.front()->setData(local.date(), DayRole);
        items.at(ColField)->setToolTip(field);
        m_model->appendRow(items);
    }
    m_capped = p.rows.size() >= 20000;
    registrations.sort();
    const QSignalBlocker block(m_registration);
    m_registration->clear();
    m_registration->addItem(kAllRegistrations);
    m_registration->addItems(registrations);
    m_registration->setCurrentIndex(std::max(0, m_registration->findText(keep)));
    m_view->resizeColumnsToContents();
    refilter();
}

void THistoricoGNRE::refilter()
{
    m_proxy->registration = m_registration->currentIndex() <= 0 ? QString() : m_registration->currentText();
    m_proxy->text = m_filter->text().trimmed();
    m_proxy->from = m_from->date();
    m_proxy->to = m_to->date();
    m_proxy->apply();
    const int shown = m_proxy->rowCount();
    const int all = m_model->rowCount();
    QString total = shown == all ? QStringLiteral("%1 alteração(ões)").arg(all) : QStringLiteral("%1 de %2 alteração(ões)").arg(shown).arg(all);
    if (m_capped)
        total += QStringLiteral(" — somente as mais recentes; reduza o período para ver as demais");
    m_total->setText(total);
}

void THistoricoGNRE::ExportaCSV(const QString &fileName) const
{
    QByteArray out("\xEF\xBB\xBF"); // BOM: spreadsheets read the file as UTF-8
    QStringList line;
    for (int c = 0; c < ColCount; ++c)
        line << csvField(m_proxy->headerData(c, Qt::Horizontal).toString());
    out += line.join(QLatin1Char(';')).toUtf8() + "\r\n";
    for (int r = 0; r < m_proxy->rowCount(); ++r) {
        line.clear();
        for (int c = 0; c < ColCount; ++c)
            line << csvField(m_proxy->index(r, c).data().toString());
        out += line.join(QLatin1Char(';')).toUtf8() + "\r\n";
    }
    // Written whole or not at all: an export that fails leaves no half file.
    QSaveFile f(fileName);
    if (!f.open(QIODevice::WriteOnly) || f.write(out) != out.size() || !f.commit())
        throw rt::Exception(QStringLiteral("Não foi possível gravar %1: %2").arg(fileName, f.errorString()));
}

void THistoricoGNRE::Exporta()
{
    const QString suggested = QStringLiteral("historico-gnre-%1-%2.csv").arg(empresa(), QDate::currentDate().toString(QStringLiteral("yyyyMMdd")));
    const QString fileName = rt::Dialogs::saveFileName(QStringLiteral("Exportar histórico"), suggested,
                                                       QStringLiteral("Planilha CSV (*.csv)"), this);
    if (fileName.isEmpty())
        return;
    ExportaCSV(fileName);
    rt::Dialogs::showInformation(QStringLiteral("%1 alteração(ões) exportada(s) para %2.").arg(linhasVisiveis()).arg(fileName), const_cast<THistoricoGNRE *>(this));
}
