#pragma once

// Every screen-model class the screen's handlers use.

#include "frm/BtnPesquisa.h"
#include "frm/ConsisteUi.h"
#include "toolkit/Bevel.h"
#include "toolkit/ComboBox.h"
#include "toolkit/DBCheckBox.h"
#include "toolkit/DBComboBox.h"
#include "toolkit/DBEdit.h"
#include "toolkit/DBGrid.h"
#include "toolkit/DBNavigator.h"
#include "toolkit/DBText.h"
#include "toolkit/DataSet.h"
#include "toolkit/GroupBox.h"
#include "toolkit/Label.h"
#include "toolkit/MenuItem.h"
#include "toolkit/PageControl.h"
#include "toolkit/Panel.h"
#include "toolkit/RadioButton.h"
#include "toolkit/ScrollBox.h"
#include "toolkit/SpeedButton.h"
#include "toolkit/TabSheet.h"
