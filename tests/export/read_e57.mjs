// Reads an E57 file with web-e57 (tests/package.json pins it; `npm ci` in
// tests/ installs it) and writes its points as text, one "x y z ..." line
// each, as the reader gives them (the scan's pose applied, invalid records
// left out). Exits 1 with the reader's message when it refuses the file.
//
//   node read_e57.mjs FILE.e57 POINTS.txt
import { readFileSync, writeFileSync } from "fs";
import { convertE57 } from "web-e57";

const [input, output] = process.argv.slice(2);
try {
    writeFileSync(output, convertE57(new Uint8Array(readFileSync(input)), "XYZ"));
} catch (error) {
    console.error(`web-e57 refused ${input}: ${error}`);
    process.exit(1);
}
