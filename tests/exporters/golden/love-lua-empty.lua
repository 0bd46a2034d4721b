-- Collision shapes for love.physics (LOVE 11): require this module for the table.
-- Metres relative to each body's anchor point, y down; ptm pixels make a metre.
return {
  format = "hullwright-love",
  version = "1.0",
  ptm = 32,
  bodies = {
  },
}

