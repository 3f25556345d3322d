#!/usr/bin/env python3
"""Plants faults one at a time and counts those the gesture checker alone catches.

Each fault is a one-line change (old text -> new text in one file). For each: apply, build
checker_tests, run the checker for the budget in survey mode from a fixed first seed, undo the
change. A fault is caught when the run fails somewhere the unchanged build does not (known faults
still open show in both runs and do not count). Run from the repository root with the build in
./build:  scripts/plant-faults.py [seconds] [first seed]; PLANT_ONLY="part of a name|..." picks faults.
"""
import os, re, subprocess, sys

FAULTS = [
    ("autoscroll not stopped at a touch's end", "src/canvas/big_view_drag.cpp",
     "  if (!autoscrollTimer_) return;\n  autoscrollTimer_->invalidate();",
     "  if (!autoscrollTimer_ || draggingTopic_) return;\n  autoscrollTimer_->invalidate();"),
    ("the writer drops the fold flag", "src/formats/map_xml_writer.cpp",
     '  appendFlag(out, "folded", n.isFolded());\n', ""),
    ("a keystroke command acts on a new selection", "src/canvas/big_view_touches.cpp",
     "editing && editing != topic) NodeView::finishEditing();", "editing && editing != topic) editing->inPlaceEdit(false);"),
    ("a cancelled drag stays where it was dragged", "src/canvas/big_view_drag.cpp",
     "  if (draggingTopic_ && dragStartPositions_.isArray()) restoreNodePositions(dragStartPositions_);\n", ""),
    ("a fold records no undo step", "src/canvas/big_view_delete.cpp",
     "  if (parentController_)\n    parentController_->pushUndoRedoOperation(\n        \"toggle-fold\"",
     "  if (false)\n    parentController_->pushUndoRedoOperation(\n        \"toggle-fold\""),
    ("Move records no undo step", "src/canvas/big_view_menu.cpp",
     "  if (parentController_) parentController_->pushUndoSnapshot();\n  const bool wasFloating", "  const bool wasFloating"),
    ("a lift let go where it began stays lifted", "src/canvas/big_view_touches.cpp",
     "    if (tap && dragDropNode_) {\n      putBackLiftedTopic(false);", "    if (tap && dragDropNode_) {\n      (void)0;"),
    ("Float records no undo step", "src/canvas/big_view_menu.cpp",
     "  if (parentController_) parentController_->pushUndoSnapshot();\n  setDragDropNode(nullptr);\n  floatNode(d);",
     "  setDragDropNode(nullptr);\n  floatNode(d);"),
    ("a long press starts on the fold target or task badge", "src/canvas/big_view_touches.cpp",
     "if (r == 2 && touch.tapCount() == 1)", "if (r != 0 && touch.tapCount() == 1)"),
    ("a floating topic's tap menu lacks Cut and Delete", "src/canvas/big_view_touches.cpp",
     "if (s != rootNode_.get()) options |= MenuOption::Cut", "if (s != rootNode_.get() && !s->isFloating()) options |= MenuOption::Cut"),
    ("the layout after a free drop, kept organised", "src/canvas/big_view_drag.cpp",
     "        rearrangeChildren(d->parentNode(), true);\n        linger = false;", "        linger = false;"),
    ("autoscroll at the bottom edge goes up", "src/canvas/big_view_drag.cpp",
     "autoscrollDistanceY_ = autoscrollDistanceForProximityToEdge(v.maxY() - p.y);",
     "autoscrollDistanceY_ = -autoscrollDistanceForProximityToEdge(v.maxY() - p.y);"),
    ("Move into a folded parent selects the hidden topic", "src/canvas/big_view_menu.cpp",
     "setSelectedNode(f->isFolded() ? f : d, true);", "setSelectedNode(d, true);"),
    ("Float of a lifted callout keeps the callout flag", "src/canvas/big_view_menu.cpp",
     "  topic->setIsCallout(false, false);\n  topic->setIsFloating(true, false);", "  topic->setIsFloating(true, false);"),
    ("Paste as Floating goes under the selection", "src/canvas/big_view_clipboard.cpp",
     "  if (andFloat && rootNode_) setSelectedNode(rootNode_.get(), true);\n", ""),
    ("typing in a floating branch snapshots that branch only", "src/model/node_view_editing.cpp",
     "  while (root->parentNode()) root = root->parentNode();\n", ""),
    ("canPerformAction does not fall back to the next responder", "src/kit/ui/responder.cpp",
     "  return n && n->canPerformAction(action, sender);", "  (void)n, (void)action, (void)sender;\n  return false;"),
]

def run(seconds, seed):
    env = dict(os.environ, QUILL_CHECKER_SURVEY="1", QUILL_CHECKER_SECONDS=str(seconds),
               QUILL_CHECKER_SEED=str(seed), QUILL_RESOURCES=os.path.abspath("resources"))
    out = subprocess.run(["build/checker_tests", "--gtest_filter=*Random*"], env=env,
                         capture_output=True, text=True).stdout
    fails = set(re.findall(r"^seed (\d+) action (\d+): ([^:\n]*)", out, re.M))
    last = int(re.search(r"seeds up to (\d+)", out).group(1))
    return {(int(s), int(a), k) for s, a, k in fails}, last

def build():
    return subprocess.run(["cmake", "--build", "build", "-j3", "--target", "checker_tests"],
                          capture_output=True).returncode == 0

def main():
    seconds = float(sys.argv[1]) if len(sys.argv) > 1 else 20
    seed = int(sys.argv[2]) if len(sys.argv) > 2 else 9000
    assert build()
    base, base_last = run(seconds, seed)
    caught = tried = 0
    only = os.environ.get("PLANT_ONLY")
    for name, path, old, new in FAULTS:
        if only and not any(part in name for part in only.split("|")):
            continue
        text = open(path).read()
        if text.count(old) != 1:
            print(f"{name}: the change does not apply"); continue
        open(path, "w").write(text.replace(old, new))
        try:
            if not build():
                print(f"{name}: does not build"); continue
            fails, last = run(seconds, seed)
        finally:
            open(path, "w").write(text)
        # A seed failing otherwise than the unchanged build's (which stops at its first failure).
        upto = min(last, base_last)
        known = {(s, k) for s, a, k in base}
        new_fails = sorted(f for f in fails if f[0] <= upto and (f[0], f[2]) not in known)
        caught += bool(new_fails)
        tried += 1
        print(f"{'caught' if new_fails else 'missed'}: {name}" + (f" ({new_fails[0][2]}, seed {new_fails[0][0]})" if new_fails else ""), flush=True)
    build()
    print(f"{caught} of {tried} caught in {seconds:g} s each")

main()
