#pragma once

// The standard maintenance form every maintenance screen derives from: the toolbar, the menus, the
// grid page and the form page, the navigator, the data source of the main dataset, the screen-code
// label and two message catalogues, with the inherited handlers a screen overrides and calls.
//
// A derived screen points dtsPadrao at its main dataset, adds its own controls (Form::add or
// createControl, with this form as owner and a parent), and overrides the handlers it extends,
// calling the base handler of the same name. The creator runs create() once the derived
// constructor has finished.

#include "lib/Messages.h"
#include "toolkit/DBGrid.h"
#include "toolkit/DBNavigator.h"
#include "toolkit/Form.h"
#include "toolkit/Label.h"
#include "toolkit/MenuItem.h"
#include "toolkit/PageControl.h"
#include "toolkit/SpeedButton.h"
#include "toolkit/TabSheet.h"

namespace frm {

class TfrmPadrao : public tk::Form {
public:
    explicit TfrmPadrao(std::string name);
    ~TfrmPadrao() override;

    // Toolbar.
    tk::TSpeedButton& sbtIncluir;
    tk::TSpeedButton& sbtAlterar;
    tk::TSpeedButton& sbtExcluir;
    tk::TSpeedButton& sbtProcurar;
    tk::TSpeedButton& sbtVerificar;
    tk::TSpeedButton& sbtOrdenar;
    tk::TSpeedButton& sbtCancelar;
    tk::TSpeedButton& sbtConfirmar;
    tk::TSpeedButton& sbtImprimir;
    tk::TSpeedButton& sbtAjuda;
    tk::TSpeedButton& sbtFechar;
    // Menus.
    tk::TMenuItem& mnuFolhaDados;
    tk::TMenuItem& mnuFormulario;
    tk::TMenuItem& mnuListagem;
    tk::TMenuItem& mnuIncluir;
    tk::TMenuItem& mnuAlterar;
    tk::TMenuItem& mnuExcluir;
    tk::TMenuItem& mnuProcurar;
    tk::TMenuItem& mnuVerificar;
    tk::TMenuItem& mnuCancelar;
    tk::TMenuItem& mnuConfirmar;
    // Pages.
    tk::TPageControl& pgcPadrao;
    tk::TTabSheet& tshFolhaDados;
    tk::TDBGrid& dbgPadrao;
    tk::TTabSheet& tshFormulario;
    tk::TDBNavigator& dbnPadrao;
    tk::TLabel& lblCodTela;
    tk::DataSource& dtsPadrao;
    // The screen's own catalogue (its lines come from the derived screen) and the standard questions
    // "Canc", "Excl" and "FechAlt" (each of them throws work away on Yes, so each defaults to No), with
    // the refusal "SemPermissao" shown to a user who may only read.
    lib::TMessages msgPadrao;
    lib::TMessages msgMensagensPadroes;

    virtual void FormCreate(tk::Component& Sender);
    virtual void FormShow(tk::Component& Sender);
    // Proposes Free: a closed maintenance screen is released.
    virtual void FormClose(tk::Component& Sender, tk::CloseAction& Action);
    // Before the user's close: with a record or line still being edited, asks "FechAlt"; No keeps the
    // form open and the edit as it is, Yes cancels every edit and lets the close go on.
    virtual void FormCloseQuery(tk::Component& Sender, bool& CanClose);
    // Keeps the page menu items in step with the page shown; nothing else.
    virtual void pgcPadraoChange(tk::Component& Sender);
    virtual void sbtIncluirClick(tk::Component& Sender);   // the main dataset enters insert
    virtual void sbtAlterarClick(tk::Component& Sender);   // enters edit
    // Asks "Excl" and deletes the current record; No ends the handler with the silent abort.
    virtual void sbtExcluirClick(tk::Component& Sender);
    virtual void sbtConfirmarClick(tk::Component& Sender); // posts
    virtual void sbtCancelarClick(tk::Component& Sender);  // cancels
    virtual void sbtVerificarClick(tk::Component& Sender); // nothing in the base form
    virtual void sbtProcurarClick(tk::Component& Sender);  // nothing in the base form
    virtual void sbtFecharClick(tk::Component& Sender);    // closes the form

    // Puts the read-only refusal in front of whatever include, alter and delete (buttons and menu
    // items) run; the loader calls it again once the screen's own handlers are bound.
    void guardWrites();

private:
    tk::DataSet* mainDataSet() const { return dtsPadrao.dataSet(); }
    // For a user whose role may only read: the error box "SemPermissao", then the silent abort.
    void refuseReadOnlyUser();
    void showPage(tk::TTabSheet& page);
};

} // namespace frm
