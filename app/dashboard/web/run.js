// A run's page: its chart (server-thinned to the pixels shown, zoom by
// dragging), the gaps the collector has, its rows page by page, and new
// readings as they come.
'use strict';

(() => {
  const { element, getJson, clockText, localText, runUrl, listen, colourOf } = Pondus;
  const parameters = new URLSearchParams(location.search);
  const key = { pc: parameters.get('pc'), port: parameters.get('port'), run: parameters.get('run') };
  const $ = (id) => document.getElementById(id);

  let info = null;      // the run as /api/run gave it
  let chart = null;
  let zoom = null;      // {from, to} while zoomed
  let page = 1;
  let gaps = [];
  let livePoints = 0;   // points added since the last thinning
  let redraw = false;

  const pages = () => Math.max(1, Math.ceil(info.lastSeq / info.pageRows));

  // Shades each stretch of missing rows behind the lines.
  const gapShading = {
    id: 'gapShading',
    beforeDatasetsDraw(target) {
      const { ctx, chartArea, scales } = target;
      ctx.save();
      ctx.fillStyle = 'rgba(214, 39, 40, 0.15)';
      for (const gap of gaps) {
        const left = Math.max(scales.x.getPixelForValue(gap.afterMs), chartArea.left);
        const right = Math.min(scales.x.getPixelForValue(gap.beforeMs), chartArea.right);
        if (right >= left) ctx.fillRect(left, chartArea.top, Math.max(right - left, 2), chartArea.bottom - chartArea.top);
      }
      ctx.restore();
    },
  };

  // Ticks on whole seconds, minutes or hours of the recording PC's clock,
  // about one per 120 pixels.
  const tickSteps = [1, 2, 5, 10, 15, 30, 60, 120, 300, 600, 900, 1800, 3600, 7200, 10800, 21600, 43200, 86400]
    .map((s) => s * 1000);
  function clockTicks(axis) {
    const span = axis.max - axis.min;
    const wanted = Math.max(2, Math.floor(axis.width / 120));
    const step = tickSteps.find((s) => span / s <= wanted) || tickSteps[tickSteps.length - 1];
    const offsetMs = info.offsetS * 1000;
    const ticks = [];
    for (let t = Math.ceil((axis.min + offsetMs) / step) * step - offsetMs; t <= axis.max; t += step) ticks.push({ value: t });
    axis.ticks = ticks;
  }

  function makeChart() {
    chart = new Chart($('chart'), {
      type: 'line',
      data: { datasets: [] },
      plugins: [gapShading],
      options: {
        animation: false,
        parsing: false,
        normalized: true,
        spanGaps: true,
        maintainAspectRatio: false,
        interaction: { mode: 'nearest', axis: 'x', intersect: false },
        elements: { point: { radius: 0, hitRadius: 4 }, line: { borderWidth: 1.5, tension: 0 } },
        scales: {
          x: {
            type: 'linear',
            bounds: 'data', // the run's own ends, not the next round ticks
            afterBuildTicks: clockTicks,
            ticks: { maxRotation: 0, callback: (value) => clockText(value, info.offsetS) },
          },
          y: { type: 'linear', title: { display: true, text: 'Масса' } },
        },
        plugins: {
          legend: { position: 'bottom' },
          tooltip: {
            callbacks: {
              title: (items) => items.length ? clockText(items[0].parsed.x, info.offsetS, true) : '',
              label: (item) => item.dataset.label + ': ' + String(item.parsed.y).replace('.', ','),
            },
          },
        },
      },
    });
  }

  function pixelsShown() {
    const width = chart.chartArea ? chart.chartArea.right - chart.chartArea.left : $('chart').clientWidth;
    return Math.min(4000, Math.max(50, Math.round(width * (window.devicePixelRatio || 1))));
  }

  async function loadChart() {
    const range = zoom || { from: info.firstMs, to: Number.MAX_SAFE_INTEGER };
    const data = await getJson('/api/chart', { ...key, from: range.from, to: range.to, width: pixelsShown() });
    gaps = data.gaps;
    chart.data.datasets = data.series.map((series) => {
      const balance = info.balances.find((b) => b.balance === series.balance);
      return {
        label: 'Весы ' + series.balance + (balance && balance.unit ? ', ' + balance.unit : ''),
        balance: series.balance,
        borderColor: colourOf(series.balance),
        backgroundColor: colourOf(series.balance),
        data: series.t.map((t, i) => ({ x: t, y: series.v[i] })),
      };
    });
    chart.options.scales.x.min = zoom ? zoom.from : undefined;
    chart.options.scales.x.max = zoom ? zoom.to : undefined;
    chart.update('none');
    livePoints = 0;
    showGaps();
    $('chart').dataset.points = String(data.series.reduce((n, s) => n + s.t.length, 0));
  }

  function showGaps() {
    const box = $('gaps');
    box.hidden = gaps.length === 0;
    const shown = gaps.slice(0, 20).map((gap) => element('li', 'gap',
      'нет строк ' + gap.from + (gap.to > gap.from ? '–' + gap.to : '') + ' (между ' +
      clockText(gap.afterMs, info.offsetS) + ' и ' + clockText(gap.beforeMs, info.offsetS) + ')'));
    const list = element('ul', 'gap-list');
    list.append(...shown);
    const heading = element('h2', '', 'Пропуски: ' + gaps.length + (gaps.length > shown.length ? ', первые ' + shown.length : ''));
    box.replaceChildren(heading, list);
  }

  // Drag across the chart to look closer; a tap without a drag does nothing.
  function enableZoom() {
    const canvas = $('chart');
    const selection = $('selection');
    let start = null;
    const xOf = (event) => event.clientX - canvas.getBoundingClientRect().left;
    canvas.addEventListener('pointerdown', (event) => {
      start = xOf(event);
      canvas.setPointerCapture(event.pointerId);
    });
    canvas.addEventListener('pointermove', (event) => {
      if (start === null) return;
      const x = xOf(event);
      selection.hidden = Math.abs(x - start) < 3;
      selection.style.left = Math.min(start, x) + 'px';
      selection.style.width = Math.abs(x - start) + 'px';
    });
    const finish = (event) => {
      if (start === null) return;
      const x = xOf(event);
      const dragged = Math.abs(x - start) >= 5;
      const from = Math.round(chart.scales.x.getValueForPixel(Math.min(start, x)));
      const to = Math.round(chart.scales.x.getValueForPixel(Math.max(start, x)));
      start = null;
      selection.hidden = true;
      if (!dragged || to - from < 10) return;
      zoom = { from, to };
      $('zoom-reset').disabled = false;
      loadChart();
    };
    canvas.addEventListener('pointerup', finish);
    canvas.addEventListener('pointercancel', () => { start = null; selection.hidden = true; });
    $('zoom-reset').addEventListener('click', () => {
      zoom = null;
      $('zoom-reset').disabled = true;
      loadChart();
    });
  }

  function tableHead() {
    const head = $('rows').tHead;
    const line = head.insertRow();
    line.append(element('th', '', '№'), element('th', '', 'Время'));
    for (const b of info.balances) {
      const cell = element('th', 'balance-head', 'Весы ' + b.balance);
      cell.append(element('div', 'sub', b.model + ', № ' + b.ident));
      cell.style.borderTopColor = colourOf(b.balance);
      line.append(cell);
    }
  }

  function rowLine(row) {
    const line = element('tr', '');
    line.append(element('td', 'number', row.number), element('td', 'time', row.time));
    for (const b of row.balances) {
      const cell = element('td', b.stable ? 'value' : 'value unstable', b.text + (b.unit ? ' ' + b.unit : ''));
      if (!b.stable) cell.title = 'нестабильно';
      line.append(cell);
    }
    return line;
  }

  function gapLine(gap) {
    const line = element('tr', 'gap-row');
    const cell = element('td', '', 'Пропуск: нет строк ' + gap.from + (gap.to > gap.from ? '–' + gap.to : ''));
    cell.colSpan = 2 + info.balances.length;
    line.append(cell);
    return line;
  }

  async function loadPage(wanted) {
    page = Math.min(Math.max(1, wanted), pages());
    const data = await getJson('/api/rows', { ...key, page });
    const body = $('rows').tBodies[0];
    body.replaceChildren(...data.rows.map((row) => (row.gap ? gapLine(row.gap) : rowLine(row))));
    showPager();
  }

  function showPager() {
    $('page').value = page;
    $('page').max = pages();
    const first = (page - 1) * info.pageRows + 1;
    $('page-label').textContent = 'из ' + pages() + ' (строки ' + first + '–' + Math.min(page * info.pageRows, info.lastSeq) + ')';
    $('first').disabled = $('previous').disabled = page <= 1;
    $('next').disabled = $('last').disabled = page >= pages();
  }

  function showSummary() {
    $('summary').textContent = 'Строк: ' + info.lastSeq + ', ' + clockText(info.firstMs, info.offsetS, true) +
      ' — ' + clockText(info.lastMs, info.offsetS, true);
  }

  async function loadRuns() {
    const select = $('runs');
    const runs = await getJson('/api/runs', { pc: key.pc, port: key.port });
    select.replaceChildren(...runs.map((run) => {
      const option = element('option', '', 'от ' + clockText(run.firstMs, run.offsetS, true) + ' (' + run.rows + ' строк)');
      option.value = run.run;
      option.selected = run.run === key.run;
      return option;
    }));
    select.addEventListener('change', () => { location.href = runUrl(key.pc, key.port, select.value); });
  }

  // A new reading of this run: its points on the chart (unless zoomed), and
  // the table's last page grows.
  function take(row) {
    if (row.pc !== key.pc || row.port !== key.port || row.run !== key.run || row.seq <= info.lastSeq) return;
    const wasLastPage = page >= pages();
    info.lastSeq = row.seq;
    info.lastMs = row.utcMs;
    showSummary();
    if (!zoom) {
      row.balances.forEach((b) => {
        const set = chart.data.datasets.find((d) => d.balance === b.balance);
        if (set) set.data.push({ x: row.utcMs, y: b.value });
      });
      livePoints += 1;
      redraw = true;
    }
    if (wasLastPage) {
      if (page < pages()) loadPage(pages());
      else { $('rows').tBodies[0].append(rowLine(row)); showPager(); }
    } else {
      showPager();
    }
  }

  function frame() {
    if (redraw) {
      redraw = false;
      // Enough new points to matter: thin again on the server.
      if (livePoints > pixelsShown()) loadChart();
      else chart.update('none');
    }
    requestAnimationFrame(frame);
  }

  async function start() {
    info = await getJson('/api/run', key);
    document.title = key.pc + ' ' + key.port + ' — серия — PONDUS';
    $('title').textContent = key.pc + ' · ' + key.port + ' · серия от ' + clockText(info.firstMs, info.offsetS, true);
    $('title').title = 'Начало серии (UTC): ' + key.run + '; последняя строка получена ' + localText(info.lastMs);
    const query = new URLSearchParams(key);
    $('download-csv').href = '/download/run.csv?' + query;
    $('download-xlsx').href = '/download/run.xlsx?' + query;
    showSummary();
    makeChart();
    enableZoom();
    tableHead();
    $('first').addEventListener('click', () => loadPage(1));
    $('previous').addEventListener('click', () => loadPage(page - 1));
    $('next').addEventListener('click', () => loadPage(page + 1));
    $('last').addEventListener('click', () => loadPage(pages()));
    $('page').addEventListener('change', () => loadPage(Number($('page').value) || 1));
    await Promise.all([loadChart(), loadPage(pages()), loadRuns()]);
    chart.update('none'); // drawn before the page counts as ready
    document.body.dataset.readyMs = String(Math.round(performance.now()));
    document.body.dataset.ready = 'yes';
    listen({ reading: take });
    requestAnimationFrame(frame);
  }

  start().catch((error) => {
    $('summary').textContent = 'Ошибка: ' + error.message;
  });
})();
