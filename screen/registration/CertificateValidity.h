#pragma once

// The validity of the digital certificates installed on the server, as the
// registration page shows it: marks in the grid and in the certificate search
// list, and a count in the host's status bar.

#include "DBGrid.h"
#include "DataPacket.h"

#include <QDate>
#include <QHash>
#include <QString>

class TValidadeCertificados
{
public:
    enum class Situacao { Valido, Vencendo, Vencido, NaoInstalado };
    // A certificate that expires within this many days is marked as expiring.
    static constexpr int DiasAviso = 30;

    // The day the validity is judged against: today, unless set (tests).
    static QDate DataReferencia();
    static void setDataReferencia(const QDate &date); // a null date: today again

    // The certificates of an answer of GetCertificado (NRSERIE, DTVALIDADE "dd/mm/aaaa").
    void Carrega(const rt::DataPacket &certificados);
    void Limpa();
    bool Carregada() const { return m_carregada; }

    // A serial (as NRCERTIFICDIG holds it) judged against the installed certificates;
    // an empty serial, or nothing loaded, is Valido: nothing to mark.
    Situacao SituacaoSerie(const QString &serie) const;
    static Situacao SituacaoData(const QString &validade);

    // Colours and hint of a certificate by its validity date, or by its serial.
    static rt::TCellDecoration MarcaData(const QString &validade);
    rt::TCellDecoration MarcaSerie(const QString &serie) const;

    // "Certificados: 2 vencidos, 1 vence em até 30 dias, 1 não instalado",
    // leaving out what is zero; empty when all are.
    static QString Resumo(int vencidos, int vencendo, int naoInstalados);

private:
    QHash<QString, QDate> m_validade; // by serial, in upper case
    bool m_carregada = false;
};
