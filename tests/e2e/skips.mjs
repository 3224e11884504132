// A node:test reporter for the page's tests. node:test counts a skipped test as passed; here
// a skip fails the run unless its reason is one CI accepts: the machine lacks a browser or
// system feature the check needs ("platform: …"), or the developer filtered by name. A file
// in which nothing passed fails as well.
const ACCEPTED = /^platform: |^test name does not match pattern$/;

export default async function* skips(source) {
  let passed = 0;
  for await (const { type, data } of source) {
    if (type !== 'test:pass' || data.details?.type === 'suite') continue;
    const reason = data.skip ?? data.todo;
    if (reason === undefined) passed += 1;
    else if (!ACCEPTED.test(String(reason))) {
      process.exitCode = 1;
      yield `${data.name}: skipped without a reason CI accepts (platform: …): ${reason}\n`;
    }
  }
  if (!passed) {
    process.exitCode = 1;
    yield 'no test passed\n';
  }
}
