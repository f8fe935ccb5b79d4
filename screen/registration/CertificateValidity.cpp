// Certificate validity on the registration page: read once per opening (and
// again with every certificate search), shown as marks and a count.
#include "Cli_fis94100.h"

#include "Pkg_fis94100.h"
#include "StatusBar.h"

using namespace rt;

namespace {

QDate g_referencia;

const QString kFormatoData = QStringLiteral("dd/MM/yyyy");

QDate dataValidade(const QString &texto) { return QDate::fromString(texto.trimmed(), kFormatoData); }

QString chave(const QString &serie) { return serie.trimmed().toUpper(); }

TCellDecoration marca(TValidadeCertificados::Situacao situacao, const QString &dica)
{
    TCellDecoration d;
    switch (situacao) {
    case TValidadeCertificados::Situacao::Vencido:
        d.Color = QColor(0xF6, 0xC9, 0xC5);
        d.FontColor = QColor(0x9C, 0x00, 0x06);
        break;
    case TValidadeCertificados::Situacao::Vencendo:
        d.Color = QColor(0xFF, 0xCC, 0x85);
        d.FontColor = QColor(0x7A, 0x3E, 0x00);
        break;
    case TValidadeCertificados::Situacao::NaoInstalado:
        d.Color = QColor(0xDD, 0xD5, 0xEE);
        d.FontColor = QColor(0x4A, 0x35, 0x7A);
        break;
    case TValidadeCertificados::Situacao::Valido:
        return d;
    }
    d.Hint = dica;
    return d;
}

} // namespace

// ---------------------------------------------------------------- TValidadeCertificados

QDate TValidadeCertificados::DataReferencia() { return g_referencia.isValid() ? g_referencia : QDate::currentDate(); }

void TValidadeCertificados::setDataReferencia(const QDate &date) { g_referencia = date; }

void TValidadeCertificados::Carrega(const DataPacket &certificados)
{
    Limpa();
    int serie = -1, validade = -1;
    for (int i = 0; i < certificados.fields.size(); ++i) {
        if (certificados.fields.at(i).name == QLatin1String("NRSERIE"))
            serie = i;
        else if (certificados.fields.at(i).name == QLatin1String("DTVALIDADE"))
            validade = i;
    }
    if (serie < 0 || validade < 0)
        return;
    for (const auto &row : certificados.rows) {
        const QString s = chave(row.value(serie).toString());
        if (s.isEmpty())
            continue;
        // The same serial twice: the one valid longest counts.
        const QDate d = dataValidade(row.value(validade).toString());
        const auto it = m_validade.constFind(s);
        if (it == m_validade.constEnd() || (d.isValid() && (!it->isValid() || d > *it)))
            m_validade.insert(s, d);
    }
    m_carregada = true;
}

void TValidadeCertificados::Limpa()
{
    m_validade.clear();
    m_carregada = false;
}

TValidadeCertificados::Situacao TValidadeCertificados::SituacaoData(const QString &validade)
{
    const QDate d = dataValidade(validade);
    if (!d.isValid())
        return Situacao::Valido; // no date read from the certificate: nothing to say
    const qint64 dias = DataReferencia().daysTo(d);
    if (dias < 0)
        return Situacao::Vencido;
    return dias <= DiasAviso ? Situacao::Vencendo : Situacao::Valido;
}

TValidadeCertificados::Situacao TValidadeCertificados::SituacaoSerie(const QString &serie) const
{
    const QString s = chave(serie);
    if (!m_carregada || s.isEmpty())
        return Situacao::Valido;
    const auto it = m_validade.constFind(s);
    if (it == m_validade.constEnd())
        return Situacao::NaoInstalado;
    return SituacaoData(it->toString(kFormatoData));
}

TCellDecoration TValidadeCertificados::MarcaData(const QString &validade)
{
    const Situacao situacao = SituacaoData(validade);
    const QDate d = dataValidade(validade);
    const qint64 dias = DataReferencia().daysTo(d);
    QString quando;
    if (situacao == Situacao::Vencido)
        quando = QStringLiteral("vencido");
    else if (dias == 0)
        quando = QStringLiteral("vence hoje");
    else if (dias == 1)
        quando = QStringLiteral("vence em 1 dia");
    else
        quando = QStringLiteral("vence em %1 dias").arg(dias);
    return marca(situacao, QStringLiteral("Validade: %1 — %2").arg(d.toString(kFormatoData), quando));
}

TCellDecoration TValidadeCertificados::MarcaSerie(const QString &serie) const
{
    const Situacao situacao = SituacaoSerie(serie);
    if (situacao == Situacao::NaoInstalado)
        return marca(situacao, QStringLiteral("Certificado não instalado no servidor"));
    if (situacao == Situacao::Valido)
        return TCellDecoration();
    return MarcaData(m_validade.value(chave(serie)).toString(kFormatoData));
}

QString TValidadeCertificados::Resumo(int vencidos, int vencendo, int naoInstalados)
{
    QStringList partes;
    if (vencidos > 0)
        partes << (vencidos == 1 ? QStringLiteral("1 vencido") : QStringLiteral("%1 vencidos").arg(vencidos));
    if (vencendo > 0)
        partes << (vencendo == 1 ? QStringLiteral("1 vence em até %1 dias").arg(DiasAviso)
                                 : QStringLiteral("%1 vencem em até %2 dias").arg(vencendo).arg(DiasAviso));
    if (naoInstalados > 0)
        partes << (naoInstalados == 1 ? QStringLiteral("1 não instalado")
                                      : QStringLiteral("%1 não instalados").arg(naoInstalados));
    return partes.isEmpty() ? QString() : QStringLiteral("Certificados: ") + partes.join(QStringLiteral(", "));
}

// ---------------------------------------------------------------- the screen

void TfrmParamGNRE::tshParamInscrShow()
{
    // Read once per opening, when the page is first shown: only this page
    // shows it, so a user who stays on the general page pays no call.
    if (!boValidadeLida)
        CarregaValidadeCertificados();
    MostraSituacaoCertificados();
}

void TfrmParamGNRE::CarregaValidadeCertificados()
{
    boValidadeLida = true;
    // The marks are a help, not a check: when the service cannot list its
    // certificates (unreachable, no certificate directory, the call cancelled)
    // the page shows no marks and says nothing; the certificate search itself
    // reports such a failure when the user asks for it.
    Showavi::ActiveShowAvi(frmParamGNRE, 1);
    try {
        const QJsonArray answer = Consiste::CheckResultServ(netParamGNRE.call(QStringLiteral("GetCertificado")), true, 0).toArray();
        if (answer.at(0).toString() == QLatin1String("OK"))
            validadeCertificados.Carrega(DataPacket::fromJson(answer.at(1)));
        else
            validadeCertificados.Limpa();
    } catch (const std::exception &) {
        validadeCertificados.Limpa();
    }
    Showavi::DeactiveShowAvi();
    dbgParamInscr->redecorate();
}

void TfrmParamGNRE::AtualizaValidadeCertificados(const DataPacket &certificados)
{
    boValidadeLida = true;
    validadeCertificados.Carrega(certificados);
    dbgParamInscr->redecorate();
    MostraSituacaoCertificados();
}

void TfrmParamGNRE::MostraSituacaoCertificados()
{
    int vencidos = 0, vencendo = 0, naoInstalados = 0;
    TField *certificado = inscr("NRCERTIFICDIG");
    for (int r = 0; r < cdsParamInscr.RecordCount(); ++r)
        cdsParamInscr.withRecord(r, [&] {
            switch (validadeCertificados.SituacaoSerie(certificado->AsString())) {
            case TValidadeCertificados::Situacao::Vencido: ++vencidos; break;
            case TValidadeCertificados::Situacao::Vencendo: ++vencendo; break;
            case TValidadeCertificados::Situacao::NaoInstalado: ++naoInstalados; break;
            case TValidadeCertificados::Situacao::Valido: break;
            }
        });
    stMsgCertificados = TValidadeCertificados::Resumo(vencidos, vencendo, naoInstalados);
    BarraStatus::Mostra(this, stMsgCertificados);
}

void TfrmParamGNRE::LimpaSituacaoCertificados()
{
    // Only the screen's own message: another one written meanwhile stays.
    if (!stMsgCertificados.isEmpty() && BarraStatus::Mensagem(this) == stMsgCertificados)
        BarraStatus::Mostra(this, QString());
    stMsgCertificados.clear();
}

void TfrmParamGNRE::dbgParamInscrDecorateCell(TColumn &column, TCellDecoration &decoration)
{
    if (column.FieldName == QLatin1String("NRCERTIFICDIG") && column.Field())
        decoration = validadeCertificados.MarcaSerie(column.Field()->AsString());
}

void TfrmParamGNRE::MarcaCertificadoPesquisa(TCellDecoration &decoration)
{
    decoration = TValidadeCertificados::MarcaData(cdsCertificados.FieldByName(QStringLiteral("DTVALIDADE"))->AsString());
}
