// The lab page: a tile per PC and port with its status and each balance's
// latest reading, kept current by the live stream.
'use strict';

(() => {
  const { element, serverNow, age, clockText, localText, runUrl, listen } = Pondus;
  const lab = document.getElementById('lab');
  const empty = document.getElementById('empty');
  const tiles = new Map(); // "pc\u0000port" -> tile

  // A reading counts as stale after this many of the port's usual intervals
  // without a new one, and never sooner than minStaleMs.
  const stalePeriods = 3;
  const minStaleMs = 5000;

  function tileFor(pc, port) {
    const key = pc + '\u0000' + port;
    let tile = tiles.get(key);
    if (tile) return tile;
    const node = element('section', 'tile');
    node.dataset.pc = pc;
    node.dataset.port = port;
    const head = element('header', 'tile-head');
    head.append(element('h2', 'pc', pc), element('span', 'port', port));
    const badge = element('span', 'badge', 'нет сведений');
    head.append(badge);
    const status = element('div', 'status-line', '');
    const table = element('table', 'balances');
    const caption = table.createTHead().insertRow();
    for (const text of ['Весы', 'Масса', 'Ед.', 'Стаб.', 'Модель', 'Номер']) caption.append(element('th', '', text));
    const body = table.createTBody();
    const foot = element('footer', 'tile-foot');
    const ageText = element('span', 'age', 'показаний нет');
    const runLink = element('a', 'run-link', '');
    foot.append(ageText, runLink);
    node.append(head, status, table, foot);
    tile = { node, badge, status, body, ageText, runLink, row: null, intervalMs: 0, statusInfo: null };
    tiles.set(key, tile);
    placeInOrder(node);
    empty.hidden = true;
    return tile;
  }

  // Tiles sorted by PC, then port, whatever order they appear in.
  function placeInOrder(node) {
    const key = [node.dataset.pc, node.dataset.port];
    for (const other of lab.querySelectorAll('.tile')) {
      const otherKey = [other.dataset.pc, other.dataset.port];
      if (key[0] < otherKey[0] || (key[0] === otherKey[0] && key[1] < otherKey[1])) {
        lab.insertBefore(node, other);
        return;
      }
    }
    lab.append(node);
  }

  function showStatus(tile, info) {
    tile.statusInfo = info;
    const online = info.status === 'online';
    tile.node.classList.toggle('offline', !online);
    tile.badge.textContent = online ? 'в сети' : 'не в сети';
    const since = (online ? 'в сети с ' : 'не в сети с ') + localText(info.receivedMs);
    tile.status.textContent = info.link ? 'Линия: ' + info.link + ' · ' + since : since;
  }

  function showRow(tile, row) {
    // A late row of a run, or a row of an older run sent late, is not news.
    if (tile.row && (row.run < tile.row.run || (row.run === tile.row.run && row.seq <= tile.row.seq))) return;
    if (tile.row && tile.row.run === row.run && row.receivedMs > tile.row.receivedMs)
      tile.intervalMs = (row.receivedMs - tile.row.receivedMs) / (row.seq - tile.row.seq);
    tile.row = row;
    tile.body.replaceChildren(...row.balances.map((b) => {
      const line = element('tr', b.stable ? 'stable' : 'unstable');
      line.append(element('td', 'balance', b.balance), element('td', 'value', b.text),
        element('td', 'unit', b.unit || ''), element('td', 'stable-flag', b.stable ? 'да' : 'нет'),
        element('td', 'model', b.model), element('td', 'ident', b.ident));
      return line;
    }));
    tile.runLink.textContent = 'Серия от ' + clockText(Date.parse(row.run), row.offsetS, true);
    tile.runLink.href = runUrl(row.pc, row.port, row.run);
    refreshAge(tile);
  }

  function refreshAge(tile) {
    if (!tile.row) return;
    const ms = serverNow() - tile.row.receivedMs;
    const staleAfter = Math.max(minStaleMs, stalePeriods * tile.intervalMs);
    const stale = ms > staleAfter;
    tile.node.classList.toggle('stale', stale);
    tile.ageText.textContent = 'Показание №' + tile.row.number + ', ' + age(ms) + ' назад' + (stale ? ' — устарело' : '');
  }

  listen({
    lab(picture) {
      for (const port of picture.ports) {
        const tile = tileFor(port.pc, port.port);
        showStatus(tile, port.status);
        if (port.row) showRow(tile, port.row);
      }
    },
    reading(row) { showRow(tileFor(row.pc, row.port), row); },
    status(info) { showStatus(tileFor(info.pc, info.port), info); },
  });
  setInterval(() => tiles.forEach(refreshAge), 1000);
})();
