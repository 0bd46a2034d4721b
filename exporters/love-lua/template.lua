{% autoescape off %}{% load hullwright_filters %}-- Collision shapes for love.physics (LOVE 11): require this module for the table.
-- Metres relative to each body's anchor point, y down; ptm pixels make a metre.
return {
  format = "hullwright-love",
  version = "1.0",
  ptm = {{ global.ptm }},
  bodies = {{% for body in bodies %}
    {
      name = {{ body.name|luastring }},
      size = { {{ body.size.width }}, {{ body.size.height }} },
      anchor = { {{ body.anchorPointAbs.x }}, {{ body.anchorPointAbs.y }} },
      bodyType = "{% if body.bodyType == 0 %}static{% elif body.bodyType == 1 %}kinematic{% else %}dynamic{% endif %}",
      linearDamping = {{ body.linearDamping }},
      angularDamping = {{ body.angularDamping }},
      fixedRotation = {% if body.fixedRotation %}true{% else %}false{% endif %},
      bullet = {% if body.isBullet %}true{% else %}false{% endif %},
      gravityScale = {{ body.gravityScale }},
      fixtures = {{% for fixture in body.fixtures %}
        {
          density = {{ fixture.density }},
          friction = {{ fixture.friction }},
          restitution = {{ fixture.restitution }},
          sensor = {% if fixture.isSensor %}true{% else %}false{% endif %},
          categories = {{ fixture.filter_categoryBits }},
          mask = {{ fixture.filter_maskBits }},
          group = {{ fixture.filter_groupIndex }},{% if fixture.isCircle %}
          circle = { x = {{ fixture.center.x|divide:global.ptm }}, y = {{ fixture.center.y|divide:global.ptm }}, radius = {{ fixture.radius|divide:global.ptm }} },{% else %}
          polygons = {{% for piece in fixture.polygons %}
            { {% for point in piece %}{{ point.x|divide:global.ptm }}, {{ point.y|divide:global.ptm }}{% if not forloop.last %}, {% endif %}{% endfor %} },{% endfor %}
          },{% endif %}
        },{% endfor %}
      },
    },{% endfor %}
  },
}
{% endautoescape %}
