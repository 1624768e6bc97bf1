// A day's work on the screen at a narrow and a wide window: states that show, the keyboard alone,
// the layout that fits, feedback on every act, the record search, the message lines, the
// accessibility checks, and the acts that wait for the host.
'use strict';
const { describe, test, before, after } = require('node:test');
const assert = require('node:assert/strict');
const { startStack, settled, axeViolations, screenshot, optionOrder } = require('./harness');

const NOT_EDITING = 'O registro está em consulta. Para mudar os dados, use Alterar (F3) ou Incluir (F2).';
const MOVE_WHILE_EDITING = 'Confirme (F10) ou cancele (Esc) a alteração antes de mudar de registro.';
const INTERNAL_NAME = /\b(dbe|dck|dbc|sbt|cds|cbb|dcb|btp|rbt|grb|mnu|tsh|pan)[A-Z]\w*/;

const dataset = (snap, name = 'cdsTipOper') => snap.datasets[name];

for (const width of [1024, 1920]) {
  describe(`janela de ${width} px`, () => {
    let stack;
    let page;
    const shot = (name) => screenshot(page, `${width}-${name}`);
    const active = () => page.evaluate(() => {
      const a = document.activeElement;
      return { name: a.dataset.name || a.dataset.control || null, value: a.value ?? null, start: a.selectionStart ?? null, end: a.selectionEnd ?? null };
    });
    const toast = async () => ((await page.locator('#toast').isVisible()) ? page.locator('#toast').textContent() : null);
    const press = async (key) => {
      await page.keyboard.press(key);
      return settled(page);
    };
    // No critical or serious finding of axe-core, named by rule and node when there is one.
    const accessible = async (state) => {
      const found = (await axeViolations(page)).filter((v) => v.impact === 'critical' || v.impact === 'serious');
      assert.deepEqual(found, [], `${state}: ${JSON.stringify(found, null, 1)}`);
    };
    const noSidewaysScroll = () => page.evaluate(() => ({
      page: document.documentElement.scrollWidth - window.innerWidth,
      inner: [...document.querySelectorAll('.page, .screen')].filter((e) => e.getClientRects().length)
        .map((e) => e.scrollWidth - e.clientWidth).filter((d) => d > 0),
    }));

    before(async () => {
      stack = await startStack({ width, height: width > 1500 ? 1080 : 700 });
      page = stack.page;
      await page.goto(stack.url);
      await settled(page);
    });
    after(async () => {
      if (stack) await stack.stop();
    });

    test('abre com a lista fechada explicando como carregá-la', async () => {
      const empty = page.locator('[data-control="dbgPadrao"] td.empty');
      assert.equal(await empty.textContent(), 'Escolha Entrada ou Saída e saia do filtro (Tab) para carregar os tipos de operação.');
      assert.equal((await active()).name, 'cbbEntSaid');
      assert.deepEqual(await noSidewaysScroll(), { page: 0, inner: [] });
      await accessible('aberta');
      await shot('aberta');
    });

    test('sair do filtro carrega a lista; a tabulação segue a ordem da página', async () => {
      const snap = await press('Tab');
      assert.equal(dataset(snap).state, 'browse');
      assert.ok(dataset(snap).recordCount > 1);
      assert.equal(await page.locator('[data-control="dbgPadrao"] tbody tr[data-rec]').count(), dataset(snap).recordCount);
      const positive = await page.locator('[tabindex]').evaluateAll((all) => all.filter((e) => e.tabIndex > 0).length);
      assert.equal(positive, 0, 'nenhum tabindex positivo');
      await accessible('carregada');
    });

    test('em consulta o formulário é só leitura e a recusa se explica sem nomes internos', async () => {
      const snap = await press('Alt+2');
      assert.equal(snap.activePage, 'tshFormulario');
      const focused = await active();
      assert.ok(focused.name && snap.controls[focused.name].parent, `o foco está num campo do formulário (${focused.name})`);
      const nome = page.locator('input[data-name="dbeNmTipoOper"]');
      assert.equal(await nome.getAttribute('readonly'), '');
      const before = await nome.inputValue();
      await nome.focus();
      await page.keyboard.type('x');
      await settled(page);
      assert.equal(await nome.inputValue(), before);
      const said = await toast();
      assert.equal(said, NOT_EDITING);
      assert.doesNotMatch(said, INTERNAL_NAME);
      await accessible('formulário');
    });

    test('as opções se distribuem pela largura na ordem do arranjo, sem rolar para o lado', async () => {
      const snap = await settled(page);
      const options = page.locator('[data-control="grbForm"] > .body > .l-stack > .l-flow').first().locator(':scope > .unit');
      const lefts = new Set((await options.evaluateAll((units) => units.map((u) => Math.round(u.getBoundingClientRect().left)))));
      if (width <= 1024) assert.equal(lefts.size, 1, 'uma coluna na janela estreita');
      else assert.ok(lefts.size >= 3 && lefts.size <= 4, `três ou quatro colunas na janela larga (${lefts.size})`);
      // The DOM order of the options is the screen's tab order.
      const { dom, byTabOrder } = await optionOrder(page, snap);
      assert.deepEqual(dom, byTabOrder);
      assert.deepEqual(await noSidewaysScroll(), { page: 0, inner: [] });
      // A caption that does not fit is cut only with its whole text in a tooltip.
      const cut = await page.locator('.page:not([hidden]) .caption, .page:not([hidden]) .text-label').evaluateAll((all) =>
        all.filter((e) => e.getClientRects().length && e.scrollWidth > e.clientWidth + 1 && !e.closest('[title]')).map((e) => e.textContent));
      assert.deepEqual(cut, []);
    });

    test('Alterar mostra a edição com faixa, estado e Confirmar em destaque; entrar num campo seleciona o texto', async () => {
      let snap = await press('F3');
      assert.equal(dataset(snap).state, 'edit');
      assert.equal(await page.locator('#banner').textContent(), 'Alteração em andamento: altere os campos e confirme com F10, ou cancele com Esc.');
      assert.equal(await page.locator('#stateChip').textContent(), 'Alteração');
      assert.match(await page.locator('button[data-tool="sbtConfirmar"]').getAttribute('class'), /\bprimary\b/);
      let focused = await active();
      assert.equal(focused.name, 'dbeNmTipoOper');
      assert.deepEqual([focused.start, focused.end], [0, focused.value.length], 'o texto todo selecionado');
      for (let i = 0; i < 10 && (await active()).name !== 'dbCodExp'; i++) snap = await press('Tab');
      focused = await active();
      assert.equal(focused.name, 'dbCodExp');
      assert.equal(snap.focus, 'dbCodExp');
      assert.deepEqual([focused.start, focused.end], [0, focused.value.length]);
      await page.keyboard.type('9');
      assert.equal(await page.locator('input[data-name="dbCodExp"]').inputValue(), '9');
      await accessible('formulário em edição');
      await shot('formulario-edicao');
    });

    test('F7 num código abre a sua pesquisa e Esc a fecha', async () => {
      await page.locator('input[data-name="dbeBonificacao"]').click();
      await settled(page);
      await page.keyboard.press('F7');
      const snap = await settled(page);
      assert.equal(snap.result, 'waiting');
      assert.ok(['pick', 'search'].includes(snap.dialog.kind));
      await page.locator('#overlay .dialog').waitFor();
      await page.keyboard.press('Escape');
      const after = await settled(page);
      assert.equal(after.dialog, null);
      assert.equal(await page.locator('#overlay').isHidden(), true);
    });

    test('Confirmar grava e avisa', async () => {
      const snap = await press('F10');
      assert.equal(dataset(snap).state, 'browse', JSON.stringify(snap.shown));
      assert.equal(dataset(snap).current.CDEXTIPOOPER, '9');
      assert.equal(await toast(), 'Registro gravado.');
      assert.equal(await page.locator('#banner').isHidden(), true);
    });

    test('o que se digita durante uma chamada vai, na ordem, para o campo seguinte', async () => {
      await press('F3');
      await page.locator('select[data-name="dcbIdOrigDestOp"]').focus();
      await settled(page);
      await page.route('**/events*', async (route) => {
        await new Promise((r) => setTimeout(r, 400));
        await route.continue();
      });
      try {
        await page.keyboard.press('Tab'); // the screen moves to the next field only when it answers
        await page.keyboard.type('77');
        const snap = await settled(page);
        assert.equal(snap.focus, 'dbCodExp');
        assert.equal(await page.locator('input[data-name="dbCodExp"]').inputValue(), '77');
      } finally {
        await page.unroute('**/events*');
      }
      await page.keyboard.press('Escape');
      const question = page.locator('#overlay .dialog');
      await question.waitFor();
      await question.getByRole('button', { name: 'Sim', exact: true }).click();
      assert.equal(dataset(await settled(page)).state, 'browse');
    });

    test('Procurar mostra os rótulos dos campos e Sim/Não', async () => {
      await page.keyboard.press('F6');
      let snap = await settled(page);
      assert.equal(snap.dialog.kind, 'search');
      const dialog = page.locator('#overlay .dialog');
      await dialog.waitFor();
      const headers = await dialog.locator('thead th').allTextContents();
      assert.deepEqual(headers.slice(0, 2), ['Código', 'Nome']);
      for (const h of headers) assert.doesNotMatch(h, /^[A-Z]{6,}$/, `coluna com nome cru: ${h}`);
      const flags = await dialog.locator('tbody tr').first().locator('td').allTextContents();
      for (const t of flags.slice(2)) assert.ok(['Sim', 'Não', ''].includes(t), t);
      await accessible('procurar');
      await shot('procurar');
      await page.keyboard.press('ArrowDown');
      await page.keyboard.press('ArrowDown');
      await page.keyboard.press('Enter');
      snap = await settled(page);
      assert.equal(dataset(snap).recNo, 3);
    });

    test('Ajuda (F1) lista as teclas e devolve o foco', async () => {
      const before = (await active()).name;
      await page.keyboard.press('F1');
      const dialog = page.locator('#overlay .dialog');
      await dialog.waitFor();
      const keys = await dialog.locator('tbody th').allTextContents();
      for (const k of ['F1', 'F2', 'F3', 'F7 Alt+↓', 'F10 Ctrl+Enter', 'Esc']) assert.ok(keys.includes(k), k);
      await accessible('ajuda');
      await page.keyboard.press('Escape');
      assert.equal(await page.locator('#overlay').isHidden(), true);
      assert.equal((await active()).name, before);
    });

    test('F9 leva aos menus e à barra de ferramentas, que se percorrem pelo teclado; Esc volta', async () => {
      const back = (await active()).name;
      await page.keyboard.press('F9');
      assert.equal(await page.evaluate(() => document.activeElement.textContent), 'Exibir');
      await page.keyboard.press('Enter');
      assert.equal(await page.locator('.menu ul:not([hidden]) button:focus').count(), 1, 'o menu abre com o foco no primeiro item');
      await page.keyboard.press('Escape');
      await page.keyboard.press('Tab');
      await page.keyboard.press('Tab');
      let tool = await page.evaluate(() => document.activeElement.dataset.tool);
      assert.ok(tool, 'a barra de ferramentas segue os menus');
      await page.keyboard.press('End');
      tool = await page.evaluate(() => document.activeElement.dataset.tool);
      assert.equal(tool, 'sbtFechar');
      await page.keyboard.press('ArrowLeft'); // Imprimir is disabled in browse: skipped
      assert.equal(await page.evaluate(() => document.activeElement.dataset.tool), 'sbtAjuda');
      await page.keyboard.press('Enter');
      await page.locator('#overlay .dialog').waitFor();
      await page.keyboard.press('Escape');
      await page.keyboard.press('Escape');
      assert.equal((await active()).name, back);
    });

    test('Mensagem: linha nova no fim, colunas fixas, estado da lista editada e aviso ao trocar de linha', async () => {
      let snap = await press('Alt+3');
      assert.equal(snap.activePage, 'tshMensagem');
      assert.equal((await active()).name, 'dbgMensagem', 'as setas agem na lista');
      snap = await press('F2');
      assert.equal(dataset(snap, 'cdsMensTipoOper').state, 'insert');
      const rows = page.locator('[data-control="dbgMensagem"] tbody tr[data-rec]');
      assert.match(await rows.last().getAttribute('class'), /\bcurrent\b/, 'a linha nova é a última');
      assert.equal(await page.locator('#stateChip').textContent(), 'Inclusão');
      const widths = () => page.locator('[data-control="dbgMensagem"] th').evaluateAll((ths) => ths.map((t) => t.getBoundingClientRect().width));
      const before = await widths();
      await page.locator('input[data-grid="dbgMensagem"][data-column="DSMENSAGEM"]').fill('Um texto bem comprido para ver se a coluna da mensagem fica do mesmo tamanho');
      assert.deepEqual(await widths(), before);
      if ((await rows.count()) > 1) {
        await rows.first().click();
        await settled(page);
        assert.equal(await toast(), MOVE_WHILE_EDITING);
      }
      await page.keyboard.press('Escape');
      const question = page.locator('#overlay .dialog');
      await question.waitFor();
      await question.getByRole('button', { name: 'Sim', exact: true }).click();
      snap = await settled(page);
      assert.equal(dataset(snap, 'cdsMensTipoOper').state, 'browse');
      assert.equal(await page.locator('#stateChip').textContent(), 'Consulta');
    });

    test('cliques durante uma chamada demorada não se acumulam e a espera aparece', async () => {
      await press('Alt+1');
      const posted = [];
      await page.route('**/events*', async (route) => {
        posted.push(route.request().postDataJSON());
        await new Promise((r) => setTimeout(r, 900));
        await route.continue();
      });
      try {
        await page.locator('button[data-tool="sbtVerificar"]').click();
        await page.locator('#wait').waitFor({ state: 'visible', timeout: 2000 });
        await page.locator('button[data-tool="sbtVerificar"]').click({ force: true, noWaitAfter: true });
        await page.locator('button[data-tool="sbtIncluir"]').click({ force: true, noWaitAfter: true });
        await settled(page);
        await page.waitForTimeout(200);
        assert.deepEqual(posted.map((e) => [e.type, e.control]), [['click', 'sbtVerificar']]);
        assert.equal(await page.locator('#wait').isHidden(), true);
      } finally {
        await page.unroute('**/events*');
      }
    });

    test('uma recusa do host com código vira texto para o usuário', async () => {
      await page.route('**/events*', (route) => route.fulfill({
        status: 409, contentType: 'application/json; charset=utf-8',
        body: JSON.stringify({ error: 'O controle sbtExcluir não pode ser operado.', code: 'disabled' }),
      }), { times: 1 });
      await page.keyboard.press('F4');
      await settled(page);
      const said = await toast();
      assert.equal(said, 'Esta opção não está disponível agora.');
      assert.doesNotMatch(said, INTERNAL_NAME);
    });

    test('Ordenar escolhe a coluna e pede a ordem ao host, mantendo o registro', async () => {
      const sent = [];
      page.on('request', (r) => {
        if (r.method() === 'POST' && r.url().includes('/events')) sent.push(r.postDataJSON());
      });
      let snap = await settled(page);
      const current = dataset(snap).current.CDTIPOOPER;
      await page.keyboard.press('F8');
      const dialog = page.locator('#overlay .dialog');
      await dialog.waitFor();
      assert.deepEqual(await dialog.locator('fieldset label').allTextContents(), ['Código', 'Nome']);
      await dialog.getByLabel('Nome').check();
      await dialog.getByRole('button', { name: 'Ordenar', exact: true }).click();
      snap = await settled(page);
      assert.deepEqual(sent.at(-1), { type: 'sort', control: 'dbgPadrao', column: 'NMTIPOOPER', descending: false });
      if (snap.controls.dbgPadrao.sort) {
        const names = dataset(snap).rows.map((r) => r.NMTIPOOPER);
        assert.deepEqual(names, [...names].sort((a, b) => a.localeCompare(b, 'pt-BR')));
        assert.equal(dataset(snap).current.CDTIPOOPER, current);
        assert.equal(await page.locator('[data-control="dbgPadrao"] th[aria-sort]').getAttribute('data-field'), 'NMTIPOOPER');
      } else {
        assert.equal(await toast(), 'A ordenação por coluna ainda não está disponível neste servidor.');
      }
      await page.locator('[data-control="dbgPadrao"] th[data-field="CDTIPOOPER"]').click();
      await settled(page);
      assert.deepEqual(sent.at(-1), { type: 'sort', control: 'dbgPadrao', column: 'CDTIPOOPER', descending: false });
    });

    test('Fechar não deixa restos da tela e ela abre de novo', async () => {
      await page.locator('button[data-tool="sbtFechar"]').click();
      let snap = await settled(page);
      assert.deepEqual(snap.controls, {});
      assert.equal(await page.locator('#closed').isVisible(), true);
      assert.equal(await page.locator('#screen').evaluate((e) => e.children.length), 0);
      await page.locator('#reopen').click();
      snap = await settled(page);
      assert.ok(Object.keys(snap.controls).length > 0);
      assert.equal(await page.locator('#closed').isHidden(), true);
      assert.deepEqual(stack.errors, []);
    });
  });
}
