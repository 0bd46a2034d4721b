-- Loads the published module (shapes.lua next to this file) into love.physics
-- the way exporters/README.md tells a game to, prints every shape as the engine
-- holds it, drops the bodies for two seconds and prints where they came to rest.
-- The last line is the verdict: "verdict ok" or "verdict fail: <reason>".

local function hex(text)
  return (text:gsub(".", function(c) return string.format("%02x", c:byte()) end))
end

local function run()
  local shapes = require("shapes")
  assert(shapes.format == "hullwright-love", "not a hullwright-love table")
  love.physics.setMeter(1)
  local world = love.physics.newWorld(0, 10, true)
  -- A floor 100 m wide whose top is y = 0.
  local ground = love.physics.newBody(world, 0, 0, "static")
  love.physics.newFixture(ground, love.physics.newRectangleShape(0, 0.5, 100, 1))
  local bodies = {}
  for i, b in ipairs(shapes.bodies) do
    local body = love.physics.newBody(world, -40 + 6 * i, -5, b.bodyType)
    body:setLinearDamping(b.linearDamping)
    body:setAngularDamping(b.angularDamping)
    body:setFixedRotation(b.fixedRotation)
    body:setBullet(b.bullet)
    body:setGravityScale(b.gravityScale)
    print(string.format("body %d %s %s %d", i, hex(b.name), b.bodyType, #b.fixtures))
    for j, f in ipairs(b.fixtures) do
      local made = {}
      if f.circle then
        made[1] = love.physics.newCircleShape(f.circle.x, f.circle.y, f.circle.radius)
      else
        for _, piece in ipairs(f.polygons) do
          made[#made + 1] = love.physics.newPolygonShape(piece)
        end
      end
      for _, shape in ipairs(made) do
        local fixture = love.physics.newFixture(body, shape, f.density)
        fixture:setFriction(f.friction)
        fixture:setRestitution(f.restitution)
        fixture:setSensor(f.sensor)
        fixture:setFilterData(f.categories, f.mask, f.group)
        local categories, mask, group = fixture:getFilterData()
        print(string.format("fixture %d %d %s %d %d %d", i, j, tostring(fixture:isSensor()), categories, mask, group))
        if shape:getType() == "circle" then
          local x, y = shape:getPoint()
          print(string.format("circle %d %d %.17g %.17g %.17g", i, j, x, y, shape:getRadius()))
        else
          local points = { shape:getPoints() }
          for k = 1, #points do points[k] = string.format("%.17g", points[k]) end
          print(string.format("polygon %d %d %s", i, j, table.concat(points, " ")))
        end
      end
    end
    bodies[i] = { body = body, startY = body:getY(), type = b.bodyType }
  end
  for _ = 1, 120 do world:update(1 / 60) end
  for i, b in ipairs(bodies) do
    local x, y = b.body:getPosition()
    print(string.format("rest %d %.17g %.17g %s", i, x, y, tostring(b.body:isAwake())))
    if b.type == "dynamic" and not (y > b.startY) then
      error("body " .. i .. " did not fall")
    end
    if b.type == "static" and y ~= b.startY then
      error("static body " .. i .. " moved")
    end
  end
end

function love.load()
  local ok, problem = pcall(run)
  print(ok and "verdict ok" or ("verdict fail: " .. tostring(problem)))
  love.event.quit(ok and 0 or 1)
end
