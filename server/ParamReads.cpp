// The read methods: one query each, answered as packet text; an argument too
// long for its column gives no rows.
#include "ParamStore.h"

#include "StoreSupport.h"


using rt::DataPacket;
using rt::FieldDef;
using store::fits;
using store::paramGeralFields;
using store::paramInscrFields;
using store::selectPacketJson;
using store::str;

QByteArray ParamStore::getParamGeral(const QString &company)
{
    if (!fits(company, 2))
        return DataPacket{paramGeralFields(), {}}.toJsonText();
    return selectPacketJson(connection(), QStringLiteral(
        "SELECT P.CDEMPRESA, P.IDGERALOGGNRE, P.CDLIVROMAG, L.NMLIVROMAG, P.NRDIASCALCDTPAG, P.CDFILIAL,"
        " F.NMFILIAL, P.IDCALENDPAGGNRE, P.DSEMAILRETORNO, P.CDPRODUTODEB, P.CDNATUQUALIF, P.VRALIQFECP,"
        " P.CDPRODUTOGON, PR.DSPRODUTO, P.IDGERACONTAPAG, P.IDENTRSAIDPAG, P.CDTPOPERPAG, T.NMTIPOOPER"
        " FROM PARAMGNRE P"
        " LEFT JOIN LIVROMAG L ON L.CDLIVROMAG = P.CDLIVROMAG"
        " LEFT JOIN FILIAL F ON F.CDFILIAL = P.CDFILIAL"
        " LEFT JOIN PRODGNREONLINE PR ON PR.CDPRODUTO = P.CDPRODUTOGON"
        " LEFT JOIN TIPOOPERAC T ON T.CDTIPOOPER = P.CDTPOPERPAG AND T.IDENTRSAIDOP = COALESCE(P.IDENTRSAIDPAG, 'E')"
        " WHERE P.CDEMPRESA = :emp"),
        {{QStringLiteral(":emp"), company}}, paramGeralFields(), QStringLiteral("Erro ao ler os parâmetros gerais"));
}

QByteArray ParamStore::getParamInscr(const QString &company, const QString &guideType)
{
    if (!fits(company, 2) || !fits(guideType, 3))
        return DataPacket{paramInscrFields(), {}}.toJsonText();
    return selectPacketJson(connection(), QStringLiteral(
        "SELECT CDEMPRESA, CDINSCESTA, SGESTADO, NRCERTIFICDIG, IDTPAMBIENTE, DSEMAILRETORNO, IDPERIODOREFAPU,"
        " IDTPGUIA, IDCALCSTMANUAL, CDENCARGOST, CDFILIALPAG, IDFCPSEPIMP"
        " FROM PARAMGNREINSCR WHERE CDEMPRESA = :emp AND IDTPGUIA = :tp ORDER BY CDINSCESTA"),
        {{QStringLiteral(":emp"), company}, {QStringLiteral(":tp"), guideType}}, paramInscrFields(),
        QStringLiteral("Erro ao ler os parâmetros por inscrição"));
}

// A list of codes and names of one table: its packet's fields and its
// statement, made once.
struct store::CodeList
{
    QVector<FieldDef> fields; // the code, then the name
    QString sql;
    QString what;
    CodeList(const QString &table, const FieldDef &code, const FieldDef &name)
        : fields{code, name},
          sql(QStringLiteral("SELECT %2, %3 FROM %1 WHERE (:all1 = 1 OR %2 = :code) ORDER BY %2").arg(table, code.name, name.name)),
          what(QStringLiteral("Erro ao ler %1").arg(table))
    {
    }
};

QByteArray ParamStore::codeList(const store::CodeList &list, const QString &value)
{
    if (!fits(value, list.fields.at(0).size))
        return DataPacket{list.fields, {}}.toJsonText();
    // An empty code asks for every row.
    return selectPacketJson(connection(), list.sql, {{QStringLiteral(":all1"), value.isEmpty() ? 1 : 0}, {QStringLiteral(":code"), value}},
                            list.fields, list.what);
}

QByteArray ParamStore::getLivroMag(const QString &code)
{
    static const store::CodeList list(QStringLiteral("LIVROMAG"), str("CDLIVROMAG", 10), str("NMLIVROMAG", 50));
    return codeList(list, code);
}

QByteArray ParamStore::getProdGnreOnline(const QString &code)
{
    static const store::CodeList list(QStringLiteral("PRODGNREONLINE"), str("CDPRODUTO", 5), str("DSPRODUTO", 250));
    return codeList(list, code);
}

QByteArray ParamStore::getVdInscricao(const QString &company, const QString &registration, const QString &guideType)
{
    if (!fits(company, 2) || !fits(registration, 16) || !fits(guideType, 3))
        return DataPacket{{str("CDINSCESTA", 16)}, {}}.toJsonText();
    return selectPacketJson(connection(), QStringLiteral(
        "SELECT CDINSCESTA FROM PARAMGNREINSCR WHERE CDEMPRESA = :emp AND CDINSCESTA = :insc AND IDTPGUIA = :tp"),
        {{QStringLiteral(":emp"), company}, {QStringLiteral(":insc"), registration}, {QStringLiteral(":tp"), guideType}},
        {str("CDINSCESTA", 16)}, QStringLiteral("Erro ao verificar a inscrição estadual"));
}
