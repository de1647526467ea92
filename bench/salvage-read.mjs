// Prints every row of every user table an independent reader (mdb-reader)
// can read, one JSON line per row: [table, values]. A table that fails
// mid-way keeps the rows read before the failure; a file that cannot be
// opened prints nothing. usage: node salvage-read.mjs FILE [PASSWORD]
import fs from "node:fs";
import path from "node:path";
import { pathToFileURL } from "node:url";
const home = process.env.MDB_READER_HOME;
const { default: MDBReader } = await import(pathToFileURL(path.join(home, "node_modules/mdb-reader/lib/node/index.js")).href);

const [file, password] = process.argv.slice(2);
const show = (v) => (v instanceof Date ? v.toISOString() : Buffer.isBuffer(v) ? v.toString("hex") : v);
let reader;
try {
    reader = new MDBReader(fs.readFileSync(file), password ? { password } : {});
} catch {
    process.exit(0);
}
let names = [];
try {
    names = reader.getTableNames();
} catch {
    process.exit(0);
}
for (const name of names) {
    try {
        const table = reader.getTable(name);
        const columns = table.getColumnNames();
        const count = table.rowCount;
        // In slices, so that a row that fails to decode loses its slice only.
        for (let off = 0; off < count; off += 64) {
            let rows;
            try {
                rows = table.getData({ rowOffset: off, rowLimit: 64 });
            } catch {
                continue;
            }
            for (const r of rows) process.stdout.write(JSON.stringify([name, columns.map((c) => show(r[c]))]) + "\n");
        }
    } catch {
        // the table is lost
    }
}
