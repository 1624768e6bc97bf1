// Building elements without HTML strings: attributes by name, `text` for the text, `class` for the
// class list and `on…` for listeners. Styles are never set as attributes (the page's content policy
// refuses inline style attributes); code that sizes an element sets element.style.

export function el(tag, props = {}, ...children) {
  const node = document.createElement(tag);
  for (const [k, v] of Object.entries(props)) {
    if (v === undefined || v === null || v === false) continue;
    if (k === 'class') node.className = v;
    else if (k === 'text') node.textContent = v;
    else if (k.startsWith('on') && typeof v === 'function') node.addEventListener(k.slice(2), v);
    else if (k === 'style') throw new Error('style como atributo não é permitido');
    else node.setAttribute(k, v === true ? '' : v);
  }
  for (const c of children) if (c !== null && c !== undefined && c !== false) node.append(c);
  return node;
}

// Writes only when the value differs, so an unchanged snapshot costs no layout work.
export function setText(node, text) {
  const t = text ?? '';
  if (node.textContent !== t) node.textContent = t;
}

export function setAttr(node, name, value) {
  if (value === null || value === undefined || value === false) {
    if (node.hasAttribute(name)) node.removeAttribute(name);
  } else if (node.getAttribute(name) !== String(value)) {
    node.setAttribute(name, value === true ? '' : value);
  }
}

export function setProp(node, name, value) {
  if (node[name] !== value) node[name] = value;
}

let ids = 0;
export function idFor(node, prefix) {
  if (!node.id) node.id = `${prefix}-${++ids}`;
  return node.id;
}
