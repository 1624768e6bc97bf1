// The renderer's words: refusals put plainly, keys matched exactly, list captions from the screen.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { closedListHint, describeFields, GENERIC_REFUSAL, keyEntry, refusalText } from '../../../web/texts.js';

test('refusals read as plain Portuguese, by code first, then by what the snapshot shows', async (t) => {
  const notEditing = 'O registro está em consulta. Para mudar os dados, use Alterar (F3) ou Incluir (F2).';
  const cases = [
    ['code not-editing', 'not-editing', {}, notEditing],
    ['code disabled', 'disabled', {}, 'Esta opção não está disponível agora.'],
    ['code hidden reads as disabled', 'hidden', {}, 'Esta opção não está disponível agora.'],
    ['code read-only', 'read-only', {}, 'Este campo é só para leitura.'],
    ['code dialog-open', 'dialog-open', {}, 'Responda antes a pergunta aberta.'],
    ['code out-of-range', 'out-of-range', {}, 'Este valor não está na lista.'],
    ['a code wins over the state', 'disabled', { dataBound: true, datasetState: 'browse' }, 'Esta opção não está disponível agora.'],
    ['no code, bound control of a browsed record', null, { dataBound: true, datasetState: 'browse' }, notEditing],
    ['no code, bound control of an edited record', null, { dataBound: true, datasetState: 'edit', operable: false }, 'Esta opção não está disponível agora.'],
    ['no code, unbound control that cannot be used', null, { dataBound: false, datasetState: 'browse', operable: false }, 'Esta opção não está disponível agora.'],
    ['no code, read-only edit', null, { readOnly: true, operable: true }, 'Este campo é só para leitura.'],
    ['an unknown code', 'something-new', { operable: true }, GENERIC_REFUSAL],
    ['nothing known', null, {}, GENERIC_REFUSAL],
  ];
  for (const [name, code, context, text] of cases) await t.test(name, () => assert.equal(refusalText(code, context), text));
});

test('keys match their entries and nothing else', async (t) => {
  const key = (k, mods = {}) => ({ key: k, altKey: false, ctrlKey: false, shiftKey: false, ...mods });
  const cases = [
    [key('F7'), 'lookup'],
    [key('ArrowDown', { altKey: true }), 'lookup'],
    [key('ArrowDown'), null],
    [key('Enter', { ctrlKey: true }), 'sbtConfirmar'],
    [key('Enter'), null],
    [key('F10'), 'sbtConfirmar'],
    [key('Escape'), 'sbtCancelar'],
    [key('F8'), 'sbtOrdenar'],
    [key('F1'), 'help'],
    [key('a'), null],
  ];
  for (const [event, expected] of cases) {
    await t.test(`${event.altKey ? 'Alt+' : ''}${event.ctrlKey ? 'Ctrl+' : ''}${event.key}`, () => {
      const entry = keyEntry(event);
      const got = entry ? (entry.action && entry.action !== 'sort' ? entry.action : entry.control) : null;
      assert.equal(got, expected);
    });
  }
});

test('list columns take the captions the screen shows and flags read Sim/Não', () => {
  const snapshot = {
    controls: {
      lblCodigo: { type: 'TLabel', caption: 'Código:' },
      dbeCodigo: { type: 'TDBEdit', field: 'CD' },
      dckFlag: { type: 'TDBCheckBox', field: 'IDFLAG', caption: 'Usa a opção' },
      dbgLista: { type: 'TDBGrid', columns: [{ field: 'NM', title: 'Nome' }, { field: 'CD', title: 'Cód.' }] },
    },
  };
  const labelOf = (name) => (name === 'dbeCodigo' ? 'Código:' : null);
  const cols = describeFields(['CD', 'NM', 'IDFLAG', 'OUTRO'], ['CD', 'Nome dado', 'IDFLAG', 'OUTRO'], snapshot, labelOf);
  assert.deepEqual(cols.map((c) => c.caption), ['Código', 'Nome dado', 'Usa a opção', 'OUTRO']);
  assert.deepEqual(['S', 'N', '', null].map(cols[2].display), ['Sim', 'Não', '', '']);
  assert.equal(cols[0].display('S'), 'S');
});

test('the closed list says how to load it', () => {
  assert.equal(closedListHint('GER06600', ['Entrada', 'Saída']),
    'Escolha Entrada ou Saída e saia do filtro (Tab) para carregar os tipos de operação.');
  assert.equal(closedListHint('OUTRA', null), 'Preencha o filtro e saia dele (Tab) para carregar os registros.');
});
