// What both pages share: building elements from text (never from markup:
// every name here came over the network), asking the server, its clock and
// the live stream.
'use strict';

const Pondus = (() => {
  // An element with a class and a text; the text is put in as text.
  function element(tag, className, text) {
    const node = document.createElement(tag);
    if (className) node.className = className;
    if (text !== undefined && text !== null) node.textContent = String(text);
    return node;
  }

  async function getJson(path, parameters) {
    const url = parameters ? path + '?' + new URLSearchParams(parameters) : path;
    const response = await fetch(url, { cache: 'no-store' });
    const body = await response.json().catch(() => ({}));
    if (!response.ok) throw new Error(body.error || response.status + ' ' + response.statusText);
    return body;
  }

  // The server's clock minus this browser's, from the last picture.
  let clockSkewMs = 0;
  const serverNow = () => Date.now() + clockSkewMs;

  function age(ms) {
    const seconds = Math.max(0, Math.round(ms / 1000));
    if (seconds < 60) return seconds + ' с';
    const minutes = Math.floor(seconds / 60);
    if (minutes < 60) return minutes + ' мин';
    const hours = Math.floor(minutes / 60);
    if (hours < 48) return hours + ' ч ' + (minutes % 60) + ' мин';
    return Math.floor(hours / 24) + ' дн';
  }

  const two = (n) => String(n).padStart(2, '0');
  // A moment as the recording PC's clock showed it.
  function clockText(utcMs, offsetS, withDate) {
    const d = new Date(utcMs + (offsetS || 0) * 1000);
    const time = two(d.getUTCHours()) + ':' + two(d.getUTCMinutes()) + ':' + two(d.getUTCSeconds());
    if (!withDate) return time;
    return two(d.getUTCDate()) + '.' + two(d.getUTCMonth() + 1) + '.' + d.getUTCFullYear() + ' ' + time;
  }
  // A moment as this browser's clock shows it.
  const localText = (ms) => new Date(ms).toLocaleString('ru-RU');

  const runUrl = (pc, port, run) => '/run?' + new URLSearchParams({ pc, port, run });

  // The live stream: `handlers` by event name; the connection's state shown
  // in the header. The browser reconnects by itself, and the server begins
  // each connection with a new picture of the lab.
  function listen(handlers) {
    const badge = document.getElementById('connection');
    const show = (text, good) => {
      badge.textContent = text;
      badge.classList.toggle('bad', !good);
    };
    const events = new EventSource('/api/events');
    events.onopen = () => show('Обновляется', true);
    events.onerror = () => show('Нет связи с сервером, переподключение…', false);
    for (const [name, handle] of Object.entries(handlers)) {
      events.addEventListener(name, (message) => {
        const data = JSON.parse(message.data);
        if (name === 'lab') clockSkewMs = data.nowMs - Date.now();
        handle(data);
      });
    }
    events.addEventListener('problem', (message) => show(JSON.parse(message.data).error, false));
    return events;
  }

  // Distinct on white and on each other: one per balance position 1..15.
  const palette = ['#1f77b4', '#d62728', '#2ca02c', '#9467bd', '#ff7f0e', '#17becf', '#8c564b', '#e377c2',
    '#7f7f7f', '#bcbd22', '#393b79', '#ad494a', '#637939', '#7b4173', '#3182bd'];
  const colourOf = (balance) => palette[(balance - 1 + palette.length) % palette.length];

  return { element, getJson, serverNow, age, clockText, localText, runUrl, listen, colourOf };
})();
