// What the renderer says to the user in its own words: the keys, the states, the refusals of the
// host put plainly (never naming a control), and the captions of the record search.

// The keys of the toolbar and the renderer, in the order the shortcut sheet lists them. `control`
// names the screen's button the key presses; the others are the renderer's own.
export const KEYS = [
  { keys: ['F1'], action: 'help', text: 'Abre esta lista de teclas (Ajuda)' },
  { keys: ['F2'], control: 'sbtIncluir', text: 'Incluir um registro' },
  { keys: ['F3'], control: 'sbtAlterar', text: 'Alterar o registro mostrado' },
  { keys: ['F4'], control: 'sbtExcluir', text: 'Excluir o registro mostrado' },
  { keys: ['F5'], control: 'sbtVerificar', text: 'Verificar: ler de novo do servidor' },
  { keys: ['F6'], control: 'sbtProcurar', text: 'Procurar um registro' },
  { keys: ['F7', 'Alt+↓'], action: 'lookup', text: 'Num código: abre a pesquisa do campo' },
  { keys: ['F8'], control: 'sbtOrdenar', action: 'sort', text: 'Ordenar a lista por uma coluna' },
  { keys: ['F9'], action: 'toolbar', text: 'Vai para os menus e a barra de ferramentas (Esc volta)' },
  { keys: ['F10', 'Ctrl+Enter'], control: 'sbtConfirmar', text: 'Confirmar a inclusão ou a alteração' },
  { keys: ['Esc'], control: 'sbtCancelar', text: 'Cancelar a inclusão ou a alteração' },
  { keys: ['Alt+1', 'Alt+2', 'Alt+3'], action: 'pages', text: 'Folha de Dados, Formulário, Mensagem' },
  { keys: ['Tab', 'Shift+Tab'], text: 'Próximo ou anterior campo (numa grade em edição: coluna)' },
  { keys: ['Enter'], text: 'Num campo: envia o que foi digitado' },
  { keys: ['Espaço'], text: 'Marca ou desmarca a opção em foco' },
  { keys: ['↑', '↓', 'PgUp', 'PgDn', 'Home', 'End'], text: 'Move na lista' },
  { keys: ['S', 'N'], text: 'Numa pergunta: Sim, Não' },
];

const MATCHERS = {
  F1: (e) => e.key === 'F1',
  F2: (e) => e.key === 'F2',
  F3: (e) => e.key === 'F3',
  F4: (e) => e.key === 'F4',
  F5: (e) => e.key === 'F5',
  F6: (e) => e.key === 'F6',
  F7: (e) => e.key === 'F7',
  'Alt+↓': (e) => e.altKey && e.key === 'ArrowDown',
  F8: (e) => e.key === 'F8',
  F9: (e) => e.key === 'F9',
  F10: (e) => e.key === 'F10',
  'Ctrl+Enter': (e) => e.ctrlKey && e.key === 'Enter',
  Esc: (e) => e.key === 'Escape',
};

// The entry of KEYS a key press stands for (pages, Tab and list keys are handled where they act).
export function keyEntry(e) {
  return KEYS.find((k) => k.keys.some((name) => MATCHERS[name] && MATCHERS[name](e))) || null;
}

// The first key of a screen button, shown on the button and in the menus.
export function keyOf(control) {
  const entry = KEYS.find((k) => k.control === control);
  return entry ? entry.keys[0] : null;
}
export const MENU_KEYS = { mnuFolhaDados: 'Alt+1', mnuFormulario: 'Alt+2' };

export const STATE_TEXT = { inactive: 'Fechado', browse: 'Consulta', edit: 'Alteração', insert: 'Inclusão' };

export const BANNER_TEXT = {
  edit: 'Alteração em andamento: altere os campos e confirme com F10, ou cancele com Esc.',
  insert: 'Inclusão em andamento: preencha os campos e confirme com F10, ou cancele com Esc.',
};

// What a refused act means to the user, by the host's code.
const REFUSALS = {
  'not-editing': 'O registro está em consulta. Para mudar os dados, use Alterar (F3) ou Incluir (F2).',
  'read-only': 'Este campo é só para leitura.',
  disabled: 'Esta opção não está disponível agora.',
  hidden: 'Esta opção não está disponível agora.',
  'dialog-open': 'Responda antes a pergunta aberta.',
  'out-of-range': 'Este valor não está na lista.',
  editing: 'Confirme (F10) ou cancele (Esc) a alteração antes de mudar de registro.',
  'not-open': 'A tela não está aberta.',
};
export const GENERIC_REFUSAL = 'Esta ação não é possível agora.';
export const MOVE_WHILE_EDITING = REFUSALS.editing;

// The host's refusal as the user should read it. Without a code, what the snapshot shows of the
// control tells the likely reason; the host's own text, written for programs, is never shown.
export function refusalText(code, context = {}) {
  if (code && REFUSALS[code]) return REFUSALS[code];
  if (context.datasetState && context.datasetState !== 'edit' && context.datasetState !== 'insert' && context.dataBound)
    return REFUSALS['not-editing'];
  if (context.readOnly) return REFUSALS['read-only'];
  if (context.operable === false) return REFUSALS.disabled;
  return GENERIC_REFUSAL;
}

export const SAVED_TEXT = 'Registro gravado.';
// The roles as the user reads them; `consulta` may read only.
export const ROLE_TEXT = { consulta: 'Consulta', manutencao: 'Manutenção', admin: 'Administrador' };
export const READ_ONLY_TEXT = 'Somente leitura';
export const READ_ONLY_TITLE = 'Seu papel permite consultar os tipos de operação, mas não incluir, alterar ou excluir.';
export const LOGOUT_TEXT = 'Sair';
export const DELETED_TEXT = 'Registro excluído.';
// The dialog shown when another user changed or removed the record being saved.
export const CONFLICT_TEXT = {
  title: 'Registro alterado por outro usuário',
  caption: 'As duas versões, campo a campo',
  field: 'Campo',
  mineColumn: 'Minha versão',
  theirsColumn: 'Versão do outro usuário',
  theirs: 'Manter a versão do outro usuário',
  mine: 'Reaplicar minhas alterações',
  who: (user, at, removed) => `${removed ? 'Excluído' : 'Alterado por último'} por ${user}${at ? ` em ${at}` : ''}.`,
};
export const SORT_UNAVAILABLE = 'A ordenação por coluna ainda não está disponível neste servidor.';

// What the records of a screen are called, for the hint of the closed list.
const RECORD_NAMES = { GER06600: 'os tipos de operação' };

export function closedListHint(screenCode, filterItems) {
  const records = RECORD_NAMES[screenCode] || 'os registros';
  if (!filterItems || filterItems.length === 0) return `Preencha o filtro e saia dele (Tab) para carregar ${records}.`;
  return `Escolha ${filterItems.join(' ou ')} e saia do filtro (Tab) para carregar ${records}.`;
}

export const HELP_INTRO = [
  'Esta tela mantém os tipos de operação: o perfil fiscal e comercial que notas, compras, vendas, ' +
    'transferências e devoluções usam.',
  'Escolha Entrada ou Saída no filtro e saia dele (Tab): a lista carrega os tipos desse tipo e o ' +
    'formulário mostra só as opções que valem para ele. Cada opção marcada aplica na hora as regras ' +
    'que dependem dela. Incluir e Alterar abrem a edição; Confirmar valida e grava, Cancelar desfaz. ' +
    'Na página Mensagem, a barra de ferramentas age sobre as mensagens do tipo mostrado.',
];

// Column captions and cell texts for a list of records: the captions the screen shows for each field
// (a check box's caption, an edit's label, a grid column's title) instead of the raw field names,
// and "Sim"/"Não" for the yes/no flags of check boxes.
export function describeFields(fields, given, snapshot, labelOf) {
  const byField = new Map();
  for (const [name, c] of Object.entries(snapshot.controls || {})) {
    if (c.field && !byField.has(c.field)) byField.set(c.field, [name, c]);
    for (const col of c.columns || []) if (col.field && col.title && !byField.has(col.field)) byField.set(col.field, [null, { caption: col.title }]);
  }
  return fields.map((field, i) => {
    const offered = given && given[i];
    const [name, c] = byField.get(field) || [null, null];
    let caption = offered && offered !== field ? offered : null;
    if (!caption && c) {
      if (c.type === 'TDBCheckBox' || c.type === 'TCheckBox') caption = c.caption;
      else if (name && labelOf(name)) caption = labelOf(name);
      else if (c.caption) caption = c.caption;
    }
    const flag = c && c.type === 'TDBCheckBox';
    return {
      caption: (caption || field).replace(/[:\s]+$/, ''),
      display: flag ? (v) => (v === 'S' ? 'Sim' : v === 'N' ? 'Não' : v ?? '') : (v) => v ?? '',
    };
  });
}
