#include "stand_in.h"

namespace stand_in {

// Self-contained on purpose: the dashboard must render with no network beyond
// this server, and a raw string keeps the page readable as one piece.
std::string_view dashboard_page() {
    return R"html(<!doctype html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>Pellox Desktop</title>
<style>
  :root { color-scheme: light dark; font-family: "Segoe UI", system-ui, sans-serif; }
  body { margin: 0; background: Canvas; color: CanvasText; }
  main { max-width: 32rem; margin: 4rem auto; padding: 0 1rem; }
  h1 { font-size: 1.6rem; font-weight: 600; margin: 0 0 1.5rem; }
  .feature { display: flex; align-items: center; justify-content: space-between; gap: 1rem;
             padding: 1rem 1.25rem; margin-bottom: .75rem; border: 1px solid #8884;
             border-radius: .75rem; cursor: pointer; }
  .feature small { display: block; margin-top: .2rem; opacity: .7; }
  input[type=checkbox] { appearance: none; flex: none; position: relative; margin: 0;
                         width: 2.75rem; height: 1.5rem; border-radius: .75rem;
                         background: #8886; cursor: pointer; transition: background .15s; }
  input[type=checkbox]::after { content: ""; position: absolute; top: .2rem; left: .2rem;
                                width: 1.1rem; height: 1.1rem; border-radius: 50%;
                                background: #fff; transition: transform .15s; }
  input[type=checkbox]:checked { background: #2f7cf6; }
  input[type=checkbox]:checked::after { transform: translateX(1.25rem); }
  input[type=checkbox]:focus-visible { outline: 2px solid #2f7cf6; outline-offset: 2px; }
  input[type=checkbox]:disabled { opacity: .5; cursor: wait; }
  #status { min-height: 1.4em; opacity: .8; }
</style>
</head>
<body>
<main>
  <h1>Pellox Desktop</h1>
  <label class="feature">
    <span>Share movies, shows &amp; music<small>Devices on your network can play this library.</small></span>
    <input type="checkbox" id="media" disabled>
  </label>
  <label class="feature">
    <span>Stream this PC<small id="stream-note">Not streaming.</small></span>
    <input type="checkbox" id="stream" disabled>
  </label>
  <p id="status" role="status">Loading&hellip;</p>
</main>
<script>
const boxes = { media: document.getElementById("media"), stream: document.getElementById("stream") };
const statusLine = document.getElementById("status");

function setBusy(busy) {
  for (const box of Object.values(boxes)) box.disabled = busy;
}

function show(state) {
  boxes.media.checked = state.features.media;
  boxes.stream.checked = state.features.stream;
  document.getElementById("stream-note").textContent =
    state.stream.running ? "Streaming now." : "Not streaming.";
  statusLine.textContent = "";
  setBusy(false);
}

async function call(init) {
  const response = await fetch("/api/features", init);
  if (!response.ok) throw new Error("the server answered " + response.status);
  show(await response.json());
}

function fail(error) {
  statusLine.textContent = "Could not reach the library server: " + error.message;
}

for (const [name, box] of Object.entries(boxes)) {
  box.addEventListener("change", () => {
    setBusy(true);
    call({ method: "POST", headers: { "Content-Type": "application/json" },
           body: JSON.stringify({ [name]: box.checked }) })
      .catch(async error => {
        // Put the switches back to what the server really has, then say why.
        await call().catch(() => {});
        fail(error);
      });
  });
}

call().catch(fail);
</script>
</body>
</html>
)html";
}

}  // namespace stand_in
