// Turns the host's answers into whole snapshots. An answer is either a whole snapshot (`base` null
// or absent) or a delta against the version the client named with `since`: only what changed,
// merged key by key at the levels below, every other value replaced whole. The result shares every
// unchanged control and dataset object with the previous snapshot, so the renderer finds what to
// repaint by identity.

// A delta that cannot be applied to what the client holds: the caller asks for a whole snapshot.
export class StaleDelta extends Error {}

const isObject = (v) => v !== null && typeof v === 'object' && !Array.isArray(v);

function mergeFlat(old, changes) {
  if (!isObject(old) || !isObject(changes)) return changes;
  return { ...old, ...changes };
}

// Each named member merged into its old object (a new name is taken as sent).
function mergeMembers(old, changes, mergeOne) {
  if (!isObject(old) || !isObject(changes)) return changes;
  const out = { ...old };
  for (const [name, value] of Object.entries(changes)) out[name] = name in old ? mergeOne(old[name], value, name) : value;
  return out;
}

const ROW_INDEX = /^(0|[1-9]\d{0,8})$/;

function mergeRows(oldRows, changes, recordCount, name) {
  if (Array.isArray(changes)) return changes;
  const rows = Array.isArray(oldRows) ? oldRows.slice(0, recordCount) : [];
  for (const [key, row] of Object.entries(changes)) {
    if (!ROW_INDEX.test(key)) throw new StaleDelta(`linha inválida "${key}" em ${name}`);
    const i = Number(key);
    if (i < recordCount) rows[i] = row;
  }
  if (rows.length < recordCount || rows.some((r) => r === undefined))
    throw new StaleDelta(`faltam linhas de ${name}`);
  return rows;
}

function mergeDataset(old, changes, name) {
  if (!isObject(old) || !isObject(changes)) return changes;
  const out = { ...old };
  for (const [key, value] of Object.entries(changes)) {
    if (key === 'rows') continue;
    out[key] = key === 'current' ? mergeFlat(old[key], value) : value;
  }
  const count = out.recordCount ?? 0;
  if ('rows' in changes) out.rows = mergeRows(old.rows, changes.rows, count, name);
  else if (Array.isArray(old.rows) && old.rows.length !== count) {
    // Fewer records keep their first rows; more records need rows the delta did not carry.
    if (old.rows.length < count) throw new StaleDelta(`faltam linhas de ${name}`);
    out.rows = old.rows.slice(0, count);
  }
  return out;
}

// The members of the root merged key by key; anything else in an answer replaces the old value whole.
const MERGE_ROOT_MEMBER = {
  controls: (old, changes) => mergeMembers(old, changes, mergeFlat),
  datasets: (old, changes) => mergeMembers(old, changes, mergeDataset),
  unit: mergeFlat,
};

export function isWhole(answer) {
  return answer.base === null || answer.base === undefined;
}

// The whole snapshot after `answer`, given the whole snapshot `previous` the client holds (or null).
export function mergeSnapshot(previous, answer) {
  if (!isObject(answer)) throw new StaleDelta('resposta sem objeto');
  if (isWhole(answer)) return answer;
  if (!previous || previous.version !== answer.base)
    throw new StaleDelta(`delta sobre a versão ${answer.base}, mas a tela está na versão ${previous ? previous.version : 'nenhuma'}`);
  const out = { ...previous };
  for (const [key, value] of Object.entries(answer))
    out[key] = Object.hasOwn(MERGE_ROOT_MEMBER, key) ? MERGE_ROOT_MEMBER[key](previous[key], value) : value;
  out.base = null; // what the caller holds now is whole again
  return out;
}
