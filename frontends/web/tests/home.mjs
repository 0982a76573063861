// A fresh sandbox home for one test, and the servers the test starts on
// it. After the test the servers are ended first, and only then does the
// home go: a test's hooks run in the order they were added, and a server
// that is still ending writes into its home.
import { mkdtempSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import path from 'node:path';

export function freshHome(t, prefix) {
  const dir = mkdtempSync(path.join(tmpdir(), prefix));
  const servers = [];
  t.after(async () => {
    for (const { proc } of servers) proc.kill('SIGTERM');
    await Promise.all(servers.map(({ exited }) => exited));
    rmSync(dir, { recursive: true, force: true });
  });
  return { path: path.join(dir, 'home'), runs: (proc, exited) => servers.push({ proc, exited }) };
}
