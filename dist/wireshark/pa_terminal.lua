-- SPDX-License-Identifier: GPL-3.0-or-later
-- Wireshark dissector for the two packets of the terminal device configuration tool:
-- the 41-byte parameter packet (first byte 0x48) sent to a device's command port, and the
-- 18-byte server address packet (first byte 0xD7) sent to the server's service management
-- port. Field names follow the JSON keys of terminal-sim --json.
--
-- The parameter packet does not say which kind of device it is for; the preference
-- "Device type" (1 to 12) chooses how bytes 25 to 40 are read, as the device knows its kind.

local proto = Proto("pa_terminal", "PA terminal configuration")

local type_names = {
    "普通终端", "频道终端", "点播终端", "一键报警", "寻呼主机", "分区切换",
    "音频矩阵", "消防矩阵", "电源时序", "网络收音", "网络CD", "网络功放",
}

local f = {
    kind = ProtoField.string("pa_terminal.kind", "Kind"),
    command = ProtoField.uint8("pa_terminal.command", "Command", base.HEX),
    type = ProtoField.uint8("pa_terminal.type", "Device type (preference)"),
    new_ip = ProtoField.ipv4("pa_terminal.new_ip", "New address"),
    server_ip = ProtoField.ipv4("pa_terminal.server_ip", "Server address"),
    gateway = ProtoField.ipv4("pa_terminal.gateway", "Gateway"),
    command_port = ProtoField.uint16("pa_terminal.command_port", "Command port"),
    data_port = ProtoField.uint16("pa_terminal.data_port", "Data port"),
    server_port = ProtoField.uint16("pa_terminal.server_port", "Server port"),
    device_address = ProtoField.uint16("pa_terminal.device_address", "Device address"),
    broadcast_ip = ProtoField.ipv4("pa_terminal.broadcast_ip", "Data broadcast address"),
    hidden_group_ip = ProtoField.ipv4("pa_terminal.hidden_group_ip", "Group address (hidden)"),
    multicast_ip = ProtoField.ipv4("pa_terminal.multicast_ip", "Multicast address"),
    subnet_mask = ProtoField.ipv4("pa_terminal.subnet_mask", "Subnet mask"),
    amplifier = ProtoField.uint16("pa_terminal.amplifier", "Subordinate amplifier number"),
    alarm_host1_ip = ProtoField.ipv4("pa_terminal.alarm_host1_ip", "Alarm host 1 address"),
    alarm_host2_ip = ProtoField.ipv4("pa_terminal.alarm_host2_ip", "Alarm host 2 address"),
    alarm_host1_id = ProtoField.uint16("pa_terminal.alarm_host1_id", "Alarm host 1 number"),
    alarm_host2_id = ProtoField.uint16("pa_terminal.alarm_host2_id", "Alarm host 2 number"),
    paging_server_ip = ProtoField.ipv4("pa_terminal.paging_server_ip", "Paging server address"),
    unused = ProtoField.bytes("pa_terminal.unused", "Unused"),
}
local list = {}
for _, v in pairs(f) do list[#list + 1] = v end
proto.fields = list

local e_hidden = ProtoExpert.new("pa_terminal.hidden_group", "Group address is hidden on the page for this type, yet sent",
    expert.group.COMMENTS_GROUP, expert.severity.NOTE)
local e_unused = ProtoExpert.new("pa_terminal.unused_not_zero", "Unused bytes are not zero",
    expert.group.MALFORMED, expert.severity.WARN)
proto.experts = { e_hidden, e_unused }

proto.prefs.device_type = Pref.uint("Device type", 1,
    "Device type code (1 to 12) whose view reads the parameter packet")

local PARAM, SERVER = 0x48, 0xD7
local PARAM_SIZE, SERVER_SIZE = 41, 18

local function is_ours(tvb)
    local n = tvb:len()
    if n == 0 then return false end
    local c = tvb(0, 1):uint()
    return (c == PARAM and n == PARAM_SIZE) or (c == SERVER and n == SERVER_SIZE)
end

-- Bytes from..to that the type leaves at zero; flagged at the first that is not.
local function check_zero(tvb, tree, from, to, want)
    want = want or 0
    for i = from, to do
        local b = tvb(i, 1):uint()
        if b ~= want then
            local item = tree:add(f.unused, tvb(from, to - from + 1))
            item:add_proto_expert_info(e_unused, string.format(
                "Offsets %d to %d should be %02X; offset %d is %02X", from, to, want, i, b))
            return
        end
    end
end

local function quad(tree, field, tvb, at) tree:add(field, tvb(at, 4)) end
local function high_first(tree, field, tvb, at) tree:add(field, tvb(at, 2)) end
local function low_first(tree, field, tvb, at) tree:add_le(field, tvb(at, 2)) end

local function dissect_param(tvb, tree, code)
    tree:add(f.kind, "param"):set_generated()
    local t = tree:add(f.type, code)
    t:set_generated()
    t:append_text(" " .. (type_names[code] or "?"))
    quad(tree, f.new_ip, tvb, 1)
    quad(tree, f.server_ip, tvb, 5)
    quad(tree, f.gateway, tvb, 9)
    high_first(tree, f.command_port, tvb, 13)
    high_first(tree, f.data_port, tvb, 15)
    high_first(tree, f.server_port, tvb, 17)
    low_first(tree, f.device_address, tvb, 19)
    quad(tree, f.broadcast_ip, tvb, 21)
    if code == 4 then
        quad(tree, f.subnet_mask, tvb, 25)
        quad(tree, f.alarm_host1_ip, tvb, 29)
        quad(tree, f.alarm_host2_ip, tvb, 33)
        low_first(tree, f.alarm_host1_id, tvb, 37)
        low_first(tree, f.alarm_host2_id, tvb, 39)
    elseif code == 5 then
        quad(tree, f.multicast_ip, tvb, 25)
        quad(tree, f.subnet_mask, tvb, 29)
        quad(tree, f.paging_server_ip, tvb, 33)
        check_zero(tvb, tree, 37, 40)
    elseif code == 6 then
        low_first(tree, f.amplifier, tvb, 25)
        check_zero(tvb, tree, 27, 28)
        check_zero(tvb, tree, 29, 40)
    elseif code == 8 or code == 10 or code == 11 then
        quad(tree, f.multicast_ip, tvb, 25)
        check_zero(tvb, tree, 29, 40)
    else
        local item = tree:add(f.hidden_group_ip, tvb(25, 4))
        item:add_proto_expert_info(e_hidden)
        check_zero(tvb, tree, 29, 40)
    end
end

local function dissect_server(tvb, tree)
    tree:add(f.kind, "server"):set_generated()
    quad(tree, f.new_ip, tvb, 1)
    quad(tree, f.subnet_mask, tvb, 5)
    quad(tree, f.gateway, tvb, 9)
    check_zero(tvb, tree, 13, 17, 100)
end

function proto.dissector(tvb, pinfo, root)
    if not is_ours(tvb) then return 0 end
    pinfo.cols.protocol = "PA-TERMINAL"
    local tree = root:add(proto, tvb())
    tree:add(f.command, tvb(0, 1))
    if tvb(0, 1):uint() == PARAM then
        local code = proto.prefs.device_type
        if code < 1 or code > 12 then code = 1 end
        pinfo.cols.info = string.format("Parameter packet, read as type %d (%s)", code, type_names[code])
        dissect_param(tvb, tree, code)
    else
        pinfo.cols.info = "Server address packet"
        dissect_server(tvb, tree)
    end
    return tvb:len()
end

local function heuristic(tvb, pinfo, root)
    if not is_ours(tvb) then return false end
    proto.dissector(tvb, pinfo, root)
    return true
end

local udp_port = DissectorTable.get("udp.port")
udp_port:add(7500, proto)
udp_port:add(7550, proto)
proto:register_heuristic("udp", heuristic)
