-- SPDX-License-Identifier: GPL-3.0-or-later
-- Wireshark dissector for the two packets of the terminal device configuration tool:
-- the 41-byte parameter packet (first byte 0x48) sent to a device's command port, and the
-- 18-byte server address packet (first byte 0xD7) sent to the server's service management
-- port. Field names follow the JSON keys of terminal-sim --json.
--
-- The parameter packet does not say which kind of device it is for; the preference
-- "Device type" chooses how bytes 25 to 40 are read, as the device knows its kind.

-- The program's version; a test holds it to the project's.
set_plugin_info({
    version = "1.0.1",
    description = "Parameter and server address packets of the terminal device configuration tool",
})

local proto = Proto("pa_terminal", "PA terminal configuration")

-- The packets' constants, the value strings of the command byte and the device type, both
-- layouts and the packets' fields, in the program's field table order. Written from those
-- tables by the dissector_layout tool
-- (`build/src/protocol/dissector_layout --write dist/wireshark/pa_terminal.lua`); a test fails
-- when the two part, so change the tables, not these lines.
-- BEGIN tables
local PARAM, PARAM_SIZE = 0x48, 41
local SERVER, SERVER_SIZE, SERVER_FILLER = 0xD7, 18, 100

-- The command byte's values.
local commands = {
    [0x48] = "Parameter packet",
    [0xD7] = "Server address packet",
}

-- The device types by code.
local device_types = {
    [1] = "普通终端",
    [2] = "频道终端",
    [3] = "点播终端",
    [4] = "一键报警",
    [5] = "寻呼主机",
    [6] = "分区切换",
    [7] = "音频矩阵",
    [8] = "消防矩阵",
    [9] = "电源时序",
    [10] = "网络收音",
    [11] = "网络CD",
    [12] = "网络功放",
}

-- Bytes each packing takes.
local sizes = { quad = 4, high_first = 2, low_first = 2, low_first_padded = 4 }

-- The parameter packet's uses for each device type, by offset:
-- { offset, packing, field }.
local layout = {
    [1] = {
        { 1, "quad", "new_ip" },
        { 5, "quad", "server_ip" },
        { 9, "quad", "gateway" },
        { 13, "high_first", "command_port" },
        { 15, "high_first", "data_port" },
        { 17, "high_first", "server_port" },
        { 19, "low_first", "device_address" },
        { 21, "quad", "broadcast_ip" },
        { 25, "quad", "hidden_group_ip" },
    },
    [2] = {
        { 1, "quad", "new_ip" },
        { 5, "quad", "server_ip" },
        { 9, "quad", "gateway" },
        { 13, "high_first", "command_port" },
        { 15, "high_first", "data_port" },
        { 17, "high_first", "server_port" },
        { 19, "low_first", "device_address" },
        { 21, "quad", "broadcast_ip" },
        { 25, "quad", "hidden_group_ip" },
    },
    [3] = {
        { 1, "quad", "new_ip" },
        { 5, "quad", "server_ip" },
        { 9, "quad", "gateway" },
        { 13, "high_first", "command_port" },
        { 15, "high_first", "data_port" },
        { 17, "high_first", "server_port" },
        { 19, "low_first", "device_address" },
        { 21, "quad", "broadcast_ip" },
        { 25, "quad", "hidden_group_ip" },
    },
    [4] = {
        { 1, "quad", "new_ip" },
        { 5, "quad", "server_ip" },
        { 9, "quad", "gateway" },
        { 13, "high_first", "command_port" },
        { 15, "high_first", "data_port" },
        { 17, "high_first", "server_port" },
        { 19, "low_first", "device_address" },
        { 21, "quad", "broadcast_ip" },
        { 25, "quad", "subnet_mask" },
        { 29, "quad", "alarm_host1_ip" },
        { 33, "quad", "alarm_host2_ip" },
        { 37, "low_first", "alarm_host1_id" },
        { 39, "low_first", "alarm_host2_id" },
    },
    [5] = {
        { 1, "quad", "new_ip" },
        { 5, "quad", "server_ip" },
        { 9, "quad", "gateway" },
        { 13, "high_first", "command_port" },
        { 15, "high_first", "data_port" },
        { 17, "high_first", "server_port" },
        { 19, "low_first", "device_address" },
        { 21, "quad", "broadcast_ip" },
        { 25, "quad", "multicast_ip" },
        { 29, "quad", "subnet_mask" },
        { 33, "quad", "paging_server_ip" },
    },
    [6] = {
        { 1, "quad", "new_ip" },
        { 5, "quad", "server_ip" },
        { 9, "quad", "gateway" },
        { 13, "high_first", "command_port" },
        { 15, "high_first", "data_port" },
        { 17, "high_first", "server_port" },
        { 19, "low_first", "device_address" },
        { 21, "quad", "broadcast_ip" },
        { 25, "low_first_padded", "amplifier" },
    },
    [7] = {
        { 1, "quad", "new_ip" },
        { 5, "quad", "server_ip" },
        { 9, "quad", "gateway" },
        { 13, "high_first", "command_port" },
        { 15, "high_first", "data_port" },
        { 17, "high_first", "server_port" },
        { 19, "low_first", "device_address" },
        { 21, "quad", "broadcast_ip" },
        { 25, "quad", "hidden_group_ip" },
    },
    [8] = {
        { 1, "quad", "new_ip" },
        { 5, "quad", "server_ip" },
        { 9, "quad", "gateway" },
        { 13, "high_first", "command_port" },
        { 15, "high_first", "data_port" },
        { 17, "high_first", "server_port" },
        { 19, "low_first", "device_address" },
        { 21, "quad", "broadcast_ip" },
        { 25, "quad", "multicast_ip" },
    },
    [9] = {
        { 1, "quad", "new_ip" },
        { 5, "quad", "server_ip" },
        { 9, "quad", "gateway" },
        { 13, "high_first", "command_port" },
        { 15, "high_first", "data_port" },
        { 17, "high_first", "server_port" },
        { 19, "low_first", "device_address" },
        { 21, "quad", "broadcast_ip" },
        { 25, "quad", "hidden_group_ip" },
    },
    [10] = {
        { 1, "quad", "new_ip" },
        { 5, "quad", "server_ip" },
        { 9, "quad", "gateway" },
        { 13, "high_first", "command_port" },
        { 15, "high_first", "data_port" },
        { 17, "high_first", "server_port" },
        { 19, "low_first", "device_address" },
        { 21, "quad", "broadcast_ip" },
        { 25, "quad", "multicast_ip" },
    },
    [11] = {
        { 1, "quad", "new_ip" },
        { 5, "quad", "server_ip" },
        { 9, "quad", "gateway" },
        { 13, "high_first", "command_port" },
        { 15, "high_first", "data_port" },
        { 17, "high_first", "server_port" },
        { 19, "low_first", "device_address" },
        { 21, "quad", "broadcast_ip" },
        { 25, "quad", "multicast_ip" },
    },
    [12] = {
        { 1, "quad", "new_ip" },
        { 5, "quad", "server_ip" },
        { 9, "quad", "gateway" },
        { 13, "high_first", "command_port" },
        { 15, "high_first", "data_port" },
        { 17, "high_first", "server_port" },
        { 19, "low_first", "device_address" },
        { 21, "quad", "broadcast_ip" },
        { 25, "quad", "hidden_group_ip" },
    },
}

-- The server packet's parts, by offset: { offset, packing, field, size }.
local server_layout = {
    { 0, "command", "command", 1 },
    { 1, "quad", "new_ip", 4 },
    { 5, "quad", "subnet_mask", 4 },
    { 9, "quad", "gateway", 4 },
    { 13, "filler", "filler", 5 },
}

-- The packets' fields, named as the decoder's JSON keys.
local f = {
    command = ProtoField.uint8("pa_terminal.command", "Command", base.HEX, commands),
    new_ip = ProtoField.ipv4("pa_terminal.new_ip", "New address"),
    server_ip = ProtoField.ipv4("pa_terminal.server_ip", "Server address"),
    gateway = ProtoField.ipv4("pa_terminal.gateway", "Gateway"),
    command_port = ProtoField.uint16("pa_terminal.command_port", "Command port"),
    data_port = ProtoField.uint16("pa_terminal.data_port", "Data port"),
    server_port = ProtoField.uint16("pa_terminal.server_port", "Server port"),
    device_address = ProtoField.uint16("pa_terminal.device_address", "Device address"),
    broadcast_ip = ProtoField.ipv4("pa_terminal.broadcast_ip", "Data broadcast address"),
    hidden_group_ip = ProtoField.ipv4("pa_terminal.hidden_group_ip", "Group address (hidden)"),
    subnet_mask = ProtoField.ipv4("pa_terminal.subnet_mask", "Subnet mask"),
    multicast_ip = ProtoField.ipv4("pa_terminal.multicast_ip", "Multicast address"),
    amplifier = ProtoField.uint16("pa_terminal.amplifier", "Subordinate amplifier number"),
    alarm_host1_ip = ProtoField.ipv4("pa_terminal.alarm_host1_ip", "Alarm host 1 address"),
    alarm_host2_ip = ProtoField.ipv4("pa_terminal.alarm_host2_ip", "Alarm host 2 address"),
    paging_server_ip = ProtoField.ipv4("pa_terminal.paging_server_ip", "Paging server address"),
    alarm_host1_id = ProtoField.uint16("pa_terminal.alarm_host1_id", "Alarm host 1 number"),
    alarm_host2_id = ProtoField.uint16("pa_terminal.alarm_host2_id", "Alarm host 2 number"),
}
-- END tables

-- The dissector's own fields beside the packets'.
f.kind = ProtoField.string("pa_terminal.kind", "Kind")
f.type = ProtoField.uint8("pa_terminal.type", "Device type (preference)", base.DEC, device_types)
f.unused = ProtoField.bytes("pa_terminal.unused", "Unused")
local list = {}
for _, v in pairs(f) do list[#list + 1] = v end
proto.fields = list

local e_hidden = ProtoExpert.new("pa_terminal.hidden_group", "Group address is hidden on the page for this type, yet sent",
    expert.group.COMMENTS_GROUP, expert.severity.NOTE)
local e_unused = ProtoExpert.new("pa_terminal.unused_not_zero", "Unused bytes are not zero",
    expert.group.MALFORMED, expert.severity.WARN)
proto.experts = { e_hidden, e_unused }

proto.prefs.device_type = Pref.uint("Device type", 1,
    "Device type code (1 to " .. #layout .. ") whose view reads the parameter packet")
-- The device's command port, the server's service management port and the program's own
-- local port, to which devices answer.
local default_ports = "7500,7520,7550"
proto.prefs.ports = Pref.range("UDP ports", default_ports,
    "UDP ports read as these packets (either end of the datagram)", 65535)
-- A first byte and a length are a weak sign: any other protocol's datagram of 41 bytes that
-- starts with "H" would be claimed. Off unless asked for, as Wireshark's weak heuristics are.
proto.prefs.heuristic = Pref.bool("Try heuristic on any UDP port", false,
    "Read a datagram on any other port as these packets when its first byte and length fit")

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

-- A use of the packing at the offset, as its first bytes read.
local function add_use(tree, tvb, at, packing, key)
    if packing == "quad" then return tree:add(f[key], tvb(at, 4)) end
    if packing == "high_first" then return tree:add(f[key], tvb(at, 2)) end
    local item = tree:add_le(f[key], tvb(at, 2))
    if packing == "low_first_padded" then check_zero(tvb, tree, at + 2, at + 3) end
    return item
end

local function dissect_param(tvb, tree, code)
    tree:add(f.kind, "param"):set_generated()
    tree:add(f.type, code):set_generated()
    -- The uses are by offset; bytes between them and after the last must be zero.
    local free = 1
    for _, use in ipairs(layout[code]) do
        local at, packing, key = use[1], use[2], use[3]
        if at > free then check_zero(tvb, tree, free, at - 1) end
        local item = add_use(tree, tvb, at, packing, key)
        if key == "hidden_group_ip" then item:add_proto_expert_info(e_hidden) end
        free = at + sizes[packing]
    end
    if free < PARAM_SIZE then check_zero(tvb, tree, free, PARAM_SIZE - 1) end
end

local function dissect_server(tvb, tree)
    tree:add(f.kind, "server"):set_generated()
    -- The command byte is the packets' common field; the filler must hold its value.
    for _, part in ipairs(server_layout) do
        local at, packing, key, size = part[1], part[2], part[3], part[4]
        if packing == "quad" then add_use(tree, tvb, at, packing, key) end
        if packing == "filler" then check_zero(tvb, tree, at, at + size - 1, SERVER_FILLER) end
    end
end

function proto.dissector(tvb, pinfo, root)
    if not is_ours(tvb) then return 0 end
    pinfo.cols.protocol = "PA_TERMINAL" -- the short name, as Wireshark names the protocol
    local tree = root:add(proto, tvb())
    tree:add(f.command, tvb(0, 1))
    if tvb(0, 1):uint() == PARAM then
        local code = proto.prefs.device_type
        if layout[code] == nil then code = 1 end
        pinfo.cols.info = string.format("%s, read as type %d (%s)", commands[PARAM], code, device_types[code])
        dissect_param(tvb, tree, code)
    else
        pinfo.cols.info = commands[SERVER]
        dissect_server(tvb, tree)
    end
    return tvb:len()
end

local function heuristic(tvb, pinfo, root)
    if not proto.prefs.heuristic or not is_ours(tvb) then return false end
    proto.dissector(tvb, pinfo, root)
    return true
end

local udp_port = DissectorTable.get("udp.port")
local ports = default_ports
udp_port:add(ports, proto)
function proto.prefs_changed()
    if ports == proto.prefs.ports then return end
    udp_port:remove(ports, proto)
    ports = proto.prefs.ports
    udp_port:add(ports, proto)
end
proto:register_heuristic("udp", heuristic)
