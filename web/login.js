// The login page: sends the user and password to the host, which asks the application server; on
// success the host sets the login cookie and the page goes to the screen. A refusal never says whether
// the user or the password was wrong; after repeated failures the host makes the user wait, and the
// page keeps the button off for that long.

const $ = (id) => document.getElementById(id);

const TEXTS = {
  invalid: 'Usuário ou senha inválidos.',
  missing: 'Informe o usuário e a senha.',
  wait: (s) => `Muitas tentativas sem sucesso. Aguarde ${s} segundo${s === 1 ? '' : 's'} e tente de novo.`,
  unavailable: 'O servidor não respondeu. Tente novamente em instantes.',
  network: 'Falha de comunicação com o servidor. Verifique a conexão e tente de novo.',
};

let waitTimer = null;

function showError(text) {
  const box = $('loginError');
  box.textContent = text;
  box.hidden = false;
}

// Keeps the button off for `seconds`, counting down in the message.
function pause(seconds) {
  clearInterval(waitTimer);
  let left = seconds;
  $('enter').disabled = true;
  showError(TEXTS.wait(left));
  waitTimer = setInterval(() => {
    left -= 1;
    if (left > 0) return showError(TEXTS.wait(left));
    clearInterval(waitTimer);
    $('enter').disabled = false;
    $('loginError').hidden = true;
  }, 1000);
}

async function submit(event) {
  event.preventDefault();
  const user = $('user').value.trim();
  const password = $('password').value;
  if (!user || !password) return showError(TEXTS.missing);
  $('enter').disabled = true;
  let response;
  try {
    response = await fetch('/api/login', {
      method: 'POST',
      headers: { 'Content-Type': 'application/json' },
      body: JSON.stringify({ user, password }),
    });
  } catch {
    $('enter').disabled = false;
    return showError(TEXTS.network);
  }
  if (response.ok) {
    location.replace('/');
    return;
  }
  let data = {};
  try {
    data = await response.json();
  } catch {
    /* the status says enough */
  }
  $('password').value = '';
  $('password').focus();
  if (response.status === 429) {
    const seconds = Number(data.retryAfter) || Number(response.headers.get('Retry-After')) || 5;
    return pause(Math.max(1, Math.ceil(seconds)));
  }
  $('enter').disabled = false;
  if (response.status === 401) return showError(TEXTS.invalid);
  if (response.status === 400) return showError(TEXTS.missing);
  showError(TEXTS.unavailable);
}

$('loginForm').addEventListener('submit', submit);
$('user').focus();
