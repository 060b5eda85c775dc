// The page's on-screen controls for a touch screen. They show from the first
// touch of the page (a touch event, or a pointer of type "touch"); a visitor
// with a keyboard and mouse never sees them. Each control holds one of the
// program's keys, named by its KeyboardEvent.code (data-code), while a finger
// is on it: several fingers hold several keys (steer while on the throttle),
// a finger that slides off a control lets go of its key and one that slides
// onto another holds that one. hold(code, held) hands each change to the
// program, which reads the keys with the keyboard's.
"use strict";

function hillcarTouchControls(controls, hold) {
  function show() {
    document.body.classList.add("touch");
  }
  window.addEventListener("touchstart", show, {capture: true, passive: true});
  window.addEventListener("pointerdown", function (e) {
    if (e.pointerType === "touch") show();
  }, true);

  const fingers = new Map(); // pointerId: the control under it, or null
  const held = new Set();    // the controls held

  function controlAt(x, y) {
    const element = document.elementFromPoint(x, y);
    const control = element && element.closest("[data-code]");
    return control && controls.contains(control) ? control : null;
  }
  function update() {
    const now = new Set(fingers.values());
    now.delete(null);
    for (const control of held)
      if (!now.has(control)) {
        control.classList.remove("held");
        hold(control.dataset.code, false);
      }
    for (const control of now)
      if (!held.has(control)) {
        control.classList.add("held");
        hold(control.dataset.code, true);
      }
    held.clear();
    now.forEach(control => held.add(control));
  }
  function follow(e) {
    fingers.set(e.pointerId, controlAt(e.clientX, e.clientY));
    update();
  }
  function lift(e) {
    if (fingers.delete(e.pointerId)) update();
  }
  function liftAll() {
    fingers.clear();
    update();
  }

  controls.addEventListener("pointerdown", follow);
  controls.addEventListener("pointermove", function (e) {
    if (fingers.has(e.pointerId)) follow(e);
  });
  controls.addEventListener("pointerup", lift);
  controls.addEventListener("pointercancel", lift);
  // A page in the background sees no finger lifted.
  window.addEventListener("blur", liftAll);
  document.addEventListener("visibilitychange", liftAll);

  // No scrolling, zooming, long-press menu or mouse events made up from the
  // touches while a finger drives.
  for (const type of ["touchstart", "touchmove", "touchend"])
    controls.addEventListener(type, e => e.preventDefault(), {passive: false});
  controls.addEventListener("contextmenu", e => e.preventDefault());
}
