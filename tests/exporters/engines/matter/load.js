// Loads a published Matter file the way exporters/README.md tells a game to,
// prints every part as Matter holds it, drops the bodies for a simulated second
// and prints where they are. The last line is the verdict: "verdict ok" or
// "verdict fail: <reason>".
// Usage: node load.js MATTER_MODULE_DIR PUBLISHED.json
'use strict';
const fs = require('fs');

function main() {
  const Matter = require(process.argv[2]);
  const data = JSON.parse(fs.readFileSync(process.argv[3], 'utf8'));
  if (data.metadata.format !== 'hullwright-matter')
    throw new Error('not a hullwright-matter file');
  const engine = Matter.Engine.create();
  Matter.Composite.add(engine.world, Matter.Bodies.rectangle(0, 400, 4000, 40, { isStatic: true }));
  const number = (value) => value.toFixed(9);
  const bodies = data.bodies.map((b, i) => {
    // Each part keeps the file's coordinates: centred on its own centre.
    const parts = b.parts.map((vertices) =>
      Matter.Body.create({ position: Matter.Vertices.centre(vertices), vertices }));
    for (const c of b.circles)
      parts.push(Matter.Bodies.circle(c.x, c.y, c.radius));
    const hex = Buffer.from(b.name, 'utf8').toString('hex');
    const filter = b.options.collisionFilter;
    console.log(`body ${i + 1} ${hex} ${b.options.isStatic} ${b.options.isSensor} ${filter.category} ${filter.mask} ${filter.group}`);
    for (const part of parts) {
      if (part.circleRadius)
        console.log(`circle ${i + 1} ${number(part.position.x)} ${number(part.position.y)} ${number(part.circleRadius)}`);
      else
        console.log(`part ${i + 1} ${part.vertices.map((v) => `${number(v.x)} ${number(v.y)}`).join(' ')}`);
    }
    const body = Matter.Body.create(Object.assign({}, b.options, { parts }));
    Matter.Body.setPosition(body, { x: -600 + 300 * i, y: 0 });
    Matter.Composite.add(engine.world, body);
    return { body, startY: body.position.y, isStatic: b.options.isStatic };
  });
  for (let step = 0; step < 60; ++step)
    Matter.Engine.update(engine, 1000 / 60);
  bodies.forEach(({ body, startY, isStatic }, i) => {
    console.log(`rest ${i + 1} ${number(body.position.x)} ${number(body.position.y)}`);
    if (!isStatic && !(body.position.y > startY))
      throw new Error(`body ${i + 1} did not fall`);
    if (isStatic && body.position.y !== startY)
      throw new Error(`static body ${i + 1} moved`);
  });
}

try {
  main();
  console.log('verdict ok');
} catch (error) {
  console.log(`verdict fail: ${error.message}`);
  process.exitCode = 1;
}
