// The package: the entry the host calls and the module's life.
#include "Pkg_fis94100.h"

#include "Cli_fis94100.h"

#include "Exceptions.h"

TfrmParamGNRE *frmParamGNRE = nullptr;
bool boIdCriado = false;
QString stTpGuia;
QString stCdEmpresa;

namespace {

int g_initCount = 0;

// Unit initialization, on the first start-up only.
void initializeUnit() { boIdCriado = false; }

// Unit finalization, on the last shutdown only.
void finalizeUnit()
{
    stCdEmpresa = QString();
    stTpGuia = QString();
}

} // namespace

void Initialize()
{
    if (g_initCount++ == 0)
        initializeUnit();
}

void Finalize()
{
    if (g_initCount > 0 && --g_initCount == 0)
        finalizeUnit();
}

const char *const *GetPackageInfoTable()
{
    static const char *const table[] = {"Pkg_fis94100", "Cli_fis94100", "SysInit",
                                        "requires:_mvd,_rtl,_qr,_lib,_ger,_frm,_db,_vcl", nullptr};
    return table;
}

void IniProc(const QVariant &Params)
{
    if (Params.isNull() || !Params.isValid()) {
        CriaParamGNRE(QString(), QString());
        return;
    }
    if (Params.typeId() != QMetaType::QVariantList && Params.typeId() != QMetaType::QStringList)
        throw rt::Exception(QStringLiteral("IniProc: parâmetros inválidos (esperada uma lista com o tipo de guia e a empresa)."));
    const QVariantList list = Params.toList();
    if (list.size() < 2)
        throw rt::Exception(QStringLiteral("IniProc: parâmetros inválidos (esperada uma lista com o tipo de guia e a empresa)."));
    const QString empresa = list.at(1).toString();
    const QString tpGuia = list.at(0).toString();
    CriaParamGNRE(tpGuia, empresa);
}

void CriaParamGNRE(const QString &tpGuia, const QString &empresa)
{
    Application::setCursor(Application::crHourGlass);
    struct Restore { ~Restore() { Application::setCursor(Application::crDefault); } } restore;
    if (!tpGuia.isEmpty())
        stTpGuia = tpGuia;
    if (!empresa.isEmpty())
        stCdEmpresa = empresa.left(2);
    if (!boIdCriado) {
        try {
            Application::CreateForm(frmParamGNRE);
        } catch (...) {
            // A failing first load is reported; the screen stays open.
            rt::reportCurrentException(frmParamGNRE);
        }
        boIdCriado = true;
    }
    if (!empresa.isEmpty())
        frmParamGNRE->edtEmpresa->setText(empresa);
    Application::showForm(frmParamGNRE);
}
