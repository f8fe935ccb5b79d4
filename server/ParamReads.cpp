// The read methods: one query each, an argument too long for its column gives no rows.
#include "ParamStore.h"

#include "StoreSupport.h"

#include <QSqlQuery>

using rt::DataPacket;
using rt::FieldDef;
using store::exec;
using store::fits;
using store::paramGeralFields;
using store::paramInscrFields;
using store::prepare;
using store::readPacket;
using store::str;

DataPacket ParamStore::getParamGeral(const QString &company)
{
    if (!fits(company, 2))
        return DataPacket{paramGeralFields(), {}};
    QSqlQuery &q = prepare(connection(), QStringLiteral(
        "SELECT P.CDEMPRESA, P.IDGERALOGGNRE, P.CDLIVROMAG, L.NMLIVROMAG, P.NRDIASCALCDTPAG, P.CDFILIAL,"
        " F.NMFILIAL, P.IDCALENDPAGGNRE, P.DSEMAILRETORNO, P.CDPRODUTODEB, P.CDNATUQUALIF, P.VRALIQFECP,"
        " P.CDPRODUTOGON, PR.DSPRODUTO, P.IDGERACONTAPAG, P.IDENTRSAIDPAG, P.CDTPOPERPAG, T.NMTIPOOPER"
        " FROM PARAMGNRE P"
        " LEFT JOIN LIVROMAG L ON L.CDLIVROMAG = P.CDLIVROMAG"
        " LEFT JOIN FILIAL F ON F.CDFILIAL = P.CDFILIAL"
        " LEFT JOIN PRODGNREONLINE PR ON PR.CDPRODUTO = P.CDPRODUTOGON"
        " LEFT JOIN TIPOOPERAC T ON T.CDTIPOOPER = P.CDTPOPERPAG AND T.IDENTRSAIDOP = COALESCE(P.IDENTRSAIDPAG, 'E')"
        " WHERE P.CDEMPRESA = :emp"));
    q.bindValue(QStringLiteral(":emp"), company);
    exec(q, QStringLiteral("Erro ao ler os parâmetros gerais"));
    return readPacket(q, paramGeralFields());
}

DataPacket ParamStore::getParamInscr(const QString &company, const QString &guideType)
{
    if (!fits(company, 2) || !fits(guideType, 3))
        return DataPacket{paramInscrFields(), {}};
    QSqlQuery &q = prepare(connection(), QStringLiteral(
        "SELECT CDEMPRESA, CDINSCESTA, SGESTADO, NRCERTIFICDIG, IDTPAMBIENTE, DSEMAILRETORNO, IDPERIODOREFAPU,"
        " IDTPGUIA, IDCALCSTMANUAL, CDENCARGOST, CDFILIALPAG, IDFCPSEPIMP"
        " FROM PARAMGNREINSCR WHERE CDEMPRESA = :emp AND IDTPGUIA = :tp ORDER BY CDINSCESTA"));
    q.bindValue(QStringLiteral(":emp"), company);
    q.bindValue(QStringLiteral(":tp"), guideType);
    exec(q, QStringLiteral("Erro ao ler os parâmetros por inscrição"));
    return readPacket(q, paramInscrFields());
}

DataPacket ParamStore::codeList(const QString &table, const FieldDef &code, const FieldDef &name, const QString &value)
{
    if (!fits(value, code.size))
        return DataPacket{{code, name}, {}};
    // An empty code asks for every row.
    QSqlQuery &q = prepare(connection(), QStringLiteral("SELECT %2, %3 FROM %1 WHERE (:all1 = 1 OR %2 = :code) ORDER BY %2")
                                            .arg(table, code.name, name.name));
    q.bindValue(QStringLiteral(":all1"), value.isEmpty() ? 1 : 0);
    q.bindValue(QStringLiteral(":code"), value);
    exec(q, QStringLiteral("Erro ao ler %1").arg(table));
    return readPacket(q, {code, name});
}

DataPacket ParamStore::getLivroMag(const QString &code)
{
    return codeList(QStringLiteral("LIVROMAG"), str("CDLIVROMAG", 10), str("NMLIVROMAG", 50), code);
}

DataPacket ParamStore::getProdGnreOnline(const QString &code)
{
    return codeList(QStringLiteral("PRODGNREONLINE"), str("CDPRODUTO", 5), str("DSPRODUTO", 250), code);
}

DataPacket ParamStore::getVdInscricao(const QString &company, const QString &registration, const QString &guideType)
{
    if (!fits(company, 2) || !fits(registration, 16) || !fits(guideType, 3))
        return DataPacket{{str("CDINSCESTA", 16)}, {}};
    QSqlQuery &q = prepare(connection(), QStringLiteral(
        "SELECT CDINSCESTA FROM PARAMGNREINSCR WHERE CDEMPRESA = :emp AND CDINSCESTA = :insc AND IDTPGUIA = :tp"));
    q.bindValue(QStringLiteral(":emp"), company);
    q.bindValue(QStringLiteral(":insc"), registration);
    q.bindValue(QStringLiteral(":tp"), guideType);
    exec(q, QStringLiteral("Erro ao verificar a inscrição estadual"));
    return readPacket(q, {str("CDINSCESTA", 16)});
}
