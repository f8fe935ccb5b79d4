#pragma once

// What the screen uses of the host's runtime and screen framework.

#include "ADOIBQuery.h"
#include "Application.h"
#include "Buttons.h"
#include "ClientDataSet.h"
#include "Consiste.h"
#include "DBControls.h"
#include "DBGrid.h"
#include "Dialogs.h"
#include "Exceptions.h"
#include "Keys.h"
#include "Messages.h"
#include "NetConnection.h"
#include "PadraoSimples.h"
#include "Pesquisa.h"
#include "Showavi.h"
#include "Widgets.h"
